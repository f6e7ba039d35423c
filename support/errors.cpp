#include "support/errors.h"

namespace tarvel {

// Compiled with -fexec-charset=CP932: these are Shift-JIS bytes.
const char* const kIntOverflowMessage = "整数のオーバーフロー";
const char* const kRangeMessage = "範囲チェックエラー";
const char* const kConvertMessageFormat = "'%s' は浮動小数点数ではありません";
const char* const kInvalidOpMessage = "不正な浮動小数点数演算命令";
const char* const kAcadElevatedMessage =
    "AutoCAD が管理者として実行されています。Tarvel も管理者として実行してください";

IntOverflowError::IntOverflowError() : Error(kIntOverflowMessage) {}
RangeError::RangeError() : Error(kRangeMessage) {}
InvalidOpError::InvalidOpError() : Error(kInvalidOpMessage) {}
AcadElevatedError::AcadElevatedError() : Error(kAcadElevatedMessage) {}

namespace {
std::string FormatConvert(const std::string& text) {
    std::string format = kConvertMessageFormat;
    const auto at = format.find("%s");
    if (at == std::string::npos) return format;
    return format.substr(0, at) + text + format.substr(at + 2);
}
}  // namespace

ConvertError::ConvertError(const std::string& text) : Error(FormatConvert(text)), text_(text) {}

}  // namespace tarvel
