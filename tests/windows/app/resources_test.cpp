// The resources of Tarvel.exe: version information, the icon's images and
// the manifest (common controls 6, per-monitor dpi awareness).
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/About.h"
#include "app/jpeg_picture.h"
#include "tarvel_version.h"
#include "tests/windows/support/files.h"

namespace {

// Tarvel.exe as Wine names it, or this test program (built from the same
// resource script) when Tarvel.exe is not part of the build.
std::wstring ProgramPath() {
#ifdef TARVEL_EXE
    return wintest::WindowsPath(TARVEL_EXE);
#else
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return path;
#endif
}

class ProgramResources : public ::testing::Test {
protected:
    void SetUp() override {
        module_ =
            LoadLibraryExW(ProgramPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        ASSERT_NE(module_, nullptr) << "cannot open the program file";
    }
    void TearDown() override {
        if (module_) FreeLibrary(module_);
    }
    HMODULE module_ = nullptr;
};

TEST(VersionResource, ReadBackWithGetFileVersionInfo) {
    const std::wstring path = ProgramPath();
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    ASSERT_GT(size, 0u);
    std::vector<std::uint8_t> block(size);
    ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, block.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    auto dotted = [](DWORD ms, DWORD ls) {
        return std::to_wstring(HIWORD(ms)) + L"." + std::to_wstring(LOWORD(ms)) + L"." + std::to_wstring(HIWORD(ls)) +
               L"." + std::to_wstring(LOWORD(ls));
    };
    EXPECT_EQ(dotted(fixed->dwFileVersionMS, fixed->dwFileVersionLS), TARVEL_FILE_VERSION_W);
    EXPECT_EQ(dotted(fixed->dwProductVersionMS, fixed->dwProductVersionLS), TARVEL_PRODUCT_VERSION_W);

    WORD* translation = nullptr;
    ASSERT_TRUE(
        VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &length));
    ASSERT_EQ(length, 4u);
    EXPECT_EQ(translation[0], 0x0411);
    EXPECT_EQ(translation[1], 932);

    struct Field {
        const wchar_t* name;
        const wchar_t* value;
    };
    const Field fields[] = {
        {L"FileVersion", TARVEL_FILE_VERSION_W},
        {L"ProductVersion", TARVEL_PRODUCT_VERSION_W},
        {L"CompanyName", L""},
        {L"FileDescription", L""},
        {L"InternalName", L""},
        {L"LegalCopyright", L""},
        {L"LegalTrademarks", L""},
        {L"OriginalFilename", L""},
        {L"ProductName", L""},
        {L"Comments", L""},
    };
    for (const Field& field : fields) {
        const std::wstring key = std::wstring(L"\\StringFileInfo\\041103A4\\") + field.name;
        wchar_t* value = nullptr;
        UINT chars = 0;
        const BOOL found = VerQueryValueW(block.data(), key.c_str(), reinterpret_cast<void**>(&value), &chars);
        const std::wstring got = found && value ? std::wstring(value) : std::wstring(L"<absent>");
        EXPECT_EQ(got, field.value) << std::string(key.begin(), key.end());
    }
}

#pragma pack(push, 2)
struct GroupIconEntry {
    BYTE width, height, colours, reserved;
    WORD planes, bitCount;
    DWORD bytes;
    WORD id;
};
#pragma pack(pop)

TEST_F(ProgramResources, IconHasFourSizesAt32Bits) {
    HRSRC found = FindResourceW(module_, L"MAINICON", MAKEINTRESOURCEW(14) /* RT_GROUP_ICON */);
    ASSERT_NE(found, nullptr);
    const auto* group = static_cast<const WORD*>(LockResource(LoadResource(module_, found)));
    ASSERT_NE(group, nullptr);
    ASSERT_EQ(group[1], 1) << "an icon group";
    const WORD count = group[2];
    const auto* entries = reinterpret_cast<const GroupIconEntry*>(group + 3);
    std::vector<int> sizes;
    for (WORD i = 0; i < count; ++i) {
        sizes.push_back(entries[i].width == 0 ? 256 : entries[i].width);
        EXPECT_EQ(entries[i].bitCount, 32);
        EXPECT_EQ(entries[i].width, entries[i].height);
    }
    EXPECT_EQ(sizes, (std::vector<int>{16, 32, 48, 96}));

    for (int size : sizes) {
        HICON icon = static_cast<HICON>(LoadImageW(module_, L"MAINICON", IMAGE_ICON, size, size, 0));
        ASSERT_NE(icon, nullptr) << size;
        ICONINFO info{};
        ASSERT_TRUE(GetIconInfo(icon, &info));
        BITMAP colour{};
        GetObjectW(info.hbmColor, sizeof colour, &colour);
        EXPECT_EQ(colour.bmWidth, size);
        EXPECT_EQ(colour.bmHeight, size);
        DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
        DestroyIcon(icon);
    }
}

TEST_F(ProgramResources, ManifestAsksForCommonControls6AndPerMonitorDpi) {
    HRSRC found = FindResourceW(module_, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24) /* RT_MANIFEST */);
    ASSERT_NE(found, nullptr);
    const char* text = static_cast<const char*>(LockResource(LoadResource(module_, found)));
    const std::string manifest(text, SizeofResource(module_, found));
    for (const char* part :
         {"Microsoft.Windows.Common-Controls", "version=\"6.0.0.0\"", "<dpiAware", "true/pm", "<dpiAwareness",
          "PerMonitorV2", "name=\"Tarvel\" version=\"" TARVEL_FILE_VERSION_TEXT "\""}) {
        EXPECT_NE(manifest.find(part), std::string::npos) << part;
    }
}

}  // namespace
