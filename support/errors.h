// The error kinds of Tarvel. Every message is held as code-page 932 bytes,
// exactly as the application's error report shows it.
#pragma once

#include <exception>
#include <string>

namespace tarvel {

// Base of every reported error: carries the message the error box shows.
class Error : public std::exception {
public:
    explicit Error(std::string message) : message_(std::move(message)) {}
    const char* what() const noexcept override { return message_.c_str(); }
    const std::string& message() const noexcept { return message_; }

private:
    std::string message_;
};

// "整数のオーバーフロー": a checked 32-bit addition or subtraction overflowed.
class IntOverflowError : public Error {
public:
    IntOverflowError();
};

// "範囲チェックエラー": an index or a value outside its range.
class RangeError : public Error {
public:
    RangeError();
};

// "'%s' は浮動小数点数ではありません": a text that is not a number.
class ConvertError : public Error {
public:
    explicit ConvertError(const std::string& text);
    const std::string& text() const noexcept { return text_; }

private:
    std::string text_;
};

// "不正な浮動小数点数演算命令": a real that cannot be turned into an integer.
class InvalidOpError : public Error {
public:
    InvalidOpError();
};

// "AutoCAD が管理者として実行されています。Tarvel も管理者として実行してください":
// Windows refused a message to AutoCAD's windows because AutoCAD runs with
// more privilege than Tarvel (User Interface Privilege Isolation).
class AcadElevatedError : public Error {
public:
    AcadElevatedError();
};

// The silent abort: ends the running user action and shows nothing.
// Deliberately not derived from Error, so a handler for reported errors
// never mistakes it for one.
class SilentAbort : public std::exception {
public:
    const char* what() const noexcept override { return "silent abort"; }
};

// The message texts, as code-page 932 bytes.
extern const char* const kIntOverflowMessage;
extern const char* const kRangeMessage;
extern const char* const kConvertMessageFormat;  // contains one "%s"
extern const char* const kInvalidOpMessage;
extern const char* const kAcadElevatedMessage;

}  // namespace tarvel
