// The resources of Orvanta.exe, read back from the built program with the Win32 resource API:
// the two dialog templates, compared as a readable dump with tests/gui/expected_dialogs.txt, and
// field by field the port list, the About string, the version block, the manifest and the icon.
// The same checks run on the shipped 32-bit file, loaded as data.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "dialog_dump.h"
#include "dialog_template.h"
#include "line_diff.h"
#include "program_paths.h"
#include "resource.h"

namespace orvanta::test {
namespace {

struct ModuleFree {
    void operator()(HMODULE module) const { FreeLibrary(module); }
};
using DataModule = std::unique_ptr<std::remove_pointer_t<HMODULE>, ModuleFree>;

// The expected dump of the two dialogs: lines starting with # and empty lines are notes.
std::string expected_dialogs()
{
    std::ifstream in(windows_path(ORVANTA_EXPECTED_DIALOGS_PATH), std::ios::binary);
    std::string text;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty() && line[0] != '#')
            text += line + "\n";
    }
    return text;
}

class OrvantaResources : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override
    {
        path_ = std::string(GetParam()) == "shipped" ? shipped_program() : built_program();
        module_.reset(LoadLibraryExA(path_.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
        ASSERT_TRUE(module_) << "cannot read " << path_ << " (error " << GetLastError()
                             << "); the shipped file comes from the windows-x86 preset";
    }

    std::vector<BYTE> resource(LPCSTR name, LPCSTR type) const
    {
        HRSRC found = FindResourceA(module_.get(), name, type);
        if (!found)
            return {};
        HGLOBAL loaded = LoadResource(module_.get(), found);
        const BYTE* bytes = static_cast<const BYTE*>(LockResource(loaded));
        return bytes ? std::vector<BYTE>(bytes, bytes + SizeofResource(module_.get(), found))
                     : std::vector<BYTE>{};
    }

    DialogTemplate dialog(UINT id) const
    {
        const std::vector<BYTE> bytes = resource(MAKEINTRESOURCEA(id), RT_DIALOG);
        auto decoded = decode_dialog_template(bytes.data(), bytes.size());
        EXPECT_TRUE(decoded) << "dialog " << id << " is missing or not an extended template";
        return decoded.value_or(DialogTemplate{});
    }

    std::string path_;
    DataModule module_;
};

// Both dialogs, their places, sizes, fonts and styles, and every control with its text, place,
// size and style, as tests/gui/expected_dialogs.txt lists them.
TEST_P(OrvantaResources, DialogTemplatesAsTheExpectedDump)
{
    const std::string expected = expected_dialogs();
    ASSERT_FALSE(expected.empty()) << "cannot read " << ORVANTA_EXPECTED_DIALOGS_PATH;
    std::string actual;
    for (WORD id : {IDD_ABOUTBOX, IDD_MAIN})
        actual += dump_dialog(id, dialog(id));
    if (actual != expected)
        ADD_FAILURE() << "the dialogs of " << path_ << " differ from "
                      << ORVANTA_EXPECTED_DIALOGS_PATH << " (- expected, + found):\n"
                      << line_diff(expected, actual);
}

// Nine records "add string COMn" for control 1003, then the end mark: 119 bytes.
TEST_P(OrvantaResources, PortListInitialisationData)
{
    std::vector<BYTE> expected;
    for (char n = '0'; n <= '8'; ++n) {
        const BYTE record[] = {0xEB, 0x03, 0x03, 0x04, 5, 0, 0, 0, 'C', 'O', 'M', BYTE(n), 0};
        expected.insert(expected.end(), std::begin(record), std::end(record));
    }
    expected.insert(expected.end(), {0, 0});
    ASSERT_EQ(expected.size(), 119u);

    EXPECT_EQ(resource(MAKEINTRESOURCEA(IDD_MAIN), MAKEINTRESOURCEA(240)), expected);
}

TEST_P(OrvantaResources, AboutMenuString)
{
    wchar_t text[64] = L"";
    const int length = LoadStringW(module_.get(), IDS_ABOUTBOX, text, 64);
    EXPECT_EQ(std::wstring(text, length > 0 ? length : 0), L"&About Orvanta...");
}

TEST_P(OrvantaResources, VersionBlock)
{
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(path_.c_str(), &ignored);
    ASSERT_GT(size, 0u);
    std::vector<BYTE> block(size);
    ASSERT_TRUE(GetFileVersionInfoA(path_.c_str(), 0, size, block.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00000001u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0x00000001u);
    EXPECT_EQ(fixed->dwFileFlags & fixed->dwFileFlagsMask, 0u);
    EXPECT_EQ(fixed->dwFileOS, static_cast<DWORD>(VOS__WINDOWS32));
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));

    WORD* translation = nullptr;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\VarFileInfo\\Translation",
                               reinterpret_cast<void**>(&translation), &length));
    ASSERT_EQ(length, 4u) << "one language and code page";
    EXPECT_EQ(translation[0], 0x0409);
    EXPECT_EQ(translation[1], 1252);

    const std::pair<const char*, const char*> strings[] = {
        {"CompanyName", "Kestiva"},
        {"FileDescription", "Orvanta serial file sender"},
        {"FileVersion", "1.0.0.1"},
        {"InternalName", "Orvanta.exe"},
        {"LegalCopyright", "Copyright (C) 2026 Kestiva. All rights reserved."},
        {"OriginalFilename", "Orvanta.exe"},
        {"ProductName", "Orvanta"},
        {"ProductVersion", "1.0.0.1"},
    };
    for (const auto& [name, value] : strings) {
        const std::string query = std::string("\\StringFileInfo\\040904E4\\") + name;
        char* found = nullptr;
        ASSERT_TRUE(
            VerQueryValueA(block.data(), query.c_str(), reinterpret_cast<void**>(&found), &length))
            << name;
        EXPECT_STREQ(found, value) << name;
    }
}

TEST_P(OrvantaResources, Manifest)
{
    const std::vector<BYTE> bytes = resource(MAKEINTRESOURCEA(1), RT_MANIFEST);
    const std::string manifest(bytes.begin(), bytes.end());
    ASSERT_FALSE(manifest.empty());
    EXPECT_NE(manifest.find("<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>"),
              std::string::npos);
    EXPECT_NE(manifest.find(">true</dpiAware>"), std::string::npos);
    EXPECT_EQ(manifest.find("<dependency"), std::string::npos) << "no dependent assemblies";
}

// The group lists 16, 24, 32 and 48 pixels at 4, 8 and 32 bits, and 256 at 32 bits; each entry
// names an icon image of its size and depth, the 256-pixel one stored as PNG.
TEST_P(OrvantaResources, IconGroupOfThirteenImages)
{
#pragma pack(push, 2)
    struct GroupHeader {
        WORD reserved, type, count;
    };
    struct GroupEntry {
        BYTE width, height, colors, reserved;
        WORD planes, bitCount;
        DWORD bytes;
        WORD id;
    };
#pragma pack(pop)
    const std::vector<BYTE> group = resource(MAKEINTRESOURCEA(IDR_MAINFRAME), RT_GROUP_ICON);
    ASSERT_GE(group.size(), sizeof(GroupHeader));
    const auto* header = reinterpret_cast<const GroupHeader*>(group.data());
    EXPECT_EQ(header->type, 1);
    ASSERT_EQ(header->count, 13);
    ASSERT_EQ(group.size(), sizeof(GroupHeader) + 13 * sizeof(GroupEntry));
    const auto* entries = reinterpret_cast<const GroupEntry*>(header + 1);

    std::vector<std::pair<int, int>> images;  // size, bits per pixel
    for (int i = 0; i < 13; ++i) {
        const GroupEntry& entry = entries[i];
        const int size = entry.width ? entry.width : 256;
        SCOPED_TRACE("image " + std::to_string(size) + "x" + std::to_string(entry.bitCount));
        images.emplace_back(size, entry.bitCount);
        EXPECT_EQ(entry.width, entry.height);

        const std::vector<BYTE> image = resource(MAKEINTRESOURCEA(entry.id), RT_ICON);
        ASSERT_EQ(image.size(), entry.bytes);
        if (size == 256) {
            const BYTE png[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
            ASSERT_GE(image.size(), 24u);
            EXPECT_TRUE(std::equal(std::begin(png), std::end(png), image.begin()));
            EXPECT_EQ(image[16] << 24 | image[17] << 16 | image[18] << 8 | image[19], 256);
        } else {
            ASSERT_GE(image.size(), sizeof(BITMAPINFOHEADER));
            const auto* bitmap = reinterpret_cast<const BITMAPINFOHEADER*>(image.data());
            EXPECT_EQ(bitmap->biWidth, size);
            EXPECT_EQ(bitmap->biHeight, 2 * size) << "colour and mask";
            EXPECT_EQ(bitmap->biBitCount, entry.bitCount);
        }
    }
    std::sort(images.begin(), images.end());
    const std::vector<std::pair<int, int>> expected = {
        {16, 4}, {16, 8},  {16, 32}, {24, 4}, {24, 8},  {24, 32}, {32, 4},
        {32, 8}, {32, 32}, {48, 4},  {48, 8}, {48, 32}, {256, 32}};
    EXPECT_EQ(images, expected);
}

INSTANTIATE_TEST_SUITE_P(Programs, OrvantaResources, ::testing::Values("built", "shipped"),
                         [](const auto& info) { return std::string(info.param); });

}  // namespace
}  // namespace orvanta::test
