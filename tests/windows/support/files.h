// The build's programs as the tests name them under Wine, a fresh folder for
// each use, and whole files.
#pragma once

#include <string>
#include <string_view>

namespace wintest {

// A path of the build (UTF-8) as a program under Wine names it: a Unix path
// /x/y is Z:\x\y; any other is only converted.
std::wstring WindowsPath(std::string_view path);

// cadhost.exe, clipholder.exe and tarvel-check.exe of this build.
std::wstring CadHostExe();
std::wstring ClipHolderExe();
std::wstring TarvelCheckExe();

// A new, empty folder under the temporary folder.
std::wstring MakeTempDir();

// The whole file as a value; empty when it cannot be read.
std::string ReadTextFile(const std::wstring& path);

}  // namespace wintest
