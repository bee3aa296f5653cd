// The built program's icons, read back from its resources: the 16-colour images every system knows,
// and a 32-bit image for each size the usual display scales ask for, which the system then uses as
// it is instead of stretching another.
#include "res/resource.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <iterator>
#include <string>
#include <vector>

namespace {

const int kIconIds[] = { IDI_READY, IDI_STOPPED, IDI_BUSY1, IDI_BUSY2, IDI_BUSY3 };

struct Image {
    int pixels;
    int bits;
};
const Image kImages[] = { { 32, 4 }, { 16, 4 }, { 48, 32 }, { 40, 32 }, { 24, 32 }, { 20, 32 } };

// An icon group resource: this header, then one entry an image.
#pragma pack(push, 2)
struct GroupHeader {
    WORD reserved;
    WORD type;
    WORD count;
};
struct GroupEntry {
    BYTE width;
    BYTE height;
    BYTE colours;
    BYTE reserved;
    WORD planes;
    WORD bits;
    DWORD bytes;
    WORD id;
};
#pragma pack(pop)

struct Resource {
    const BYTE* data = nullptr;
    DWORD size = 0;
};

Resource Find(HMODULE module, int id, LPCSTR type)
{
    Resource found;
    HRSRC info = FindResourceA(module, MAKEINTRESOURCEA(id), type);
    if (!info) return found;
    found.data = static_cast<const BYTE*>(LockResource(LoadResource(module, info)));
    found.size = SizeofResource(module, info);
    return found;
}

// The entries of icon id's group, "" when they make sense, else what is wrong.
std::string ReadGroup(HMODULE module, int id, std::vector<GroupEntry>& entries)
{
    Resource group = Find(module, id, RT_GROUP_ICON);
    if (group.size < sizeof(GroupHeader)) return "no icon group";
    const GroupHeader* header = reinterpret_cast<const GroupHeader*>(group.data);
    if (header->type != 1 || group.size < sizeof(GroupHeader) + header->count * sizeof(GroupEntry))
        return "malformed icon group";
    const GroupEntry* first = reinterpret_cast<const GroupEntry*>(header + 1);
    entries.assign(first, first + header->count);
    return "";
}

// The pixels of an icon's colour and mask bitmaps as 32-bit top-down rows; none unless the icon is
// exactly pixels wide and high.
std::vector<DWORD> Pixels(HICON icon, int pixels)
{
    ICONINFO info = {};
    std::vector<DWORD> all;
    if (!GetIconInfo(icon, &info)) return all;
    BITMAP bitmap = {};
    if (GetObjectA(info.hbmColor, sizeof bitmap, &bitmap) && bitmap.bmWidth == pixels && bitmap.bmHeight == pixels) {
        BITMAPINFO format = {};
        format.bmiHeader.biSize = sizeof format.bmiHeader;
        format.bmiHeader.biWidth = pixels;
        format.bmiHeader.biHeight = -pixels;
        format.bmiHeader.biPlanes = 1;
        format.bmiHeader.biBitCount = 32;
        format.bmiHeader.biCompression = BI_RGB;
        all.resize(2 * pixels * pixels);
        HDC screen = GetDC(nullptr);
        int colourRows = GetDIBits(screen, info.hbmColor, 0, pixels, all.data(), &format, DIB_RGB_COLORS);
        int maskRows =
            GetDIBits(screen, info.hbmMask, 0, pixels, all.data() + pixels * pixels, &format, DIB_RGB_COLORS);
        ReleaseDC(nullptr, screen);
        if (colourRows != pixels || maskRows != pixels) all.clear();
    }
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    return all;
}

class IconResourceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string exe = BuildDir() + "\\Vantry.exe";
        module = LoadLibraryExA(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(nullptr, module) << exe;
    }
    void TearDown() override
    {
        if (module) FreeLibrary(module);
    }

    // The entry of the group for an image of that size and depth, or null.
    static const GroupEntry* Entry(const std::vector<GroupEntry>& entries, Image image)
    {
        for (const GroupEntry& entry : entries)
            if (entry.width == image.pixels && entry.height == image.pixels && entry.bits == image.bits) return &entry;
        return nullptr;
    }

    HMODULE module = nullptr;
};

TEST_F(IconResourceTest, EveryIconHoldsEachSizeInItsDepthAsAnUncompressedImage)
{
    for (int id : kIconIds) {
        std::vector<GroupEntry> entries;
        ASSERT_EQ("", ReadGroup(module, id, entries)) << "icon " << id;
        EXPECT_EQ(std::size(kImages), entries.size()) << "icon " << id;
        for (Image image : kImages) {
            SCOPED_TRACE("icon " + std::to_string(id) + ", " + std::to_string(image.pixels) + " px " +
                         std::to_string(image.bits) + "-bit");
            const GroupEntry* entry = Entry(entries, image);
            ASSERT_NE(nullptr, entry) << "missing from the group";
            // The group entry only guides the choice; the image's own header is what gets drawn.
            Resource icon = Find(module, entry->id, RT_ICON);
            ASSERT_GE(icon.size, sizeof(BITMAPINFOHEADER));
            EXPECT_EQ(entry->bytes, icon.size);
            BITMAPINFOHEADER header;
            memcpy(&header, icon.data, sizeof header);
            EXPECT_EQ(sizeof header, header.biSize) << "not a DIB (a PNG image?)";
            EXPECT_EQ(image.pixels, header.biWidth);
            EXPECT_EQ(2 * image.pixels, header.biHeight); // colour and mask
            EXPECT_EQ(image.bits, header.biBitCount);
            EXPECT_EQ(static_cast<DWORD>(BI_RGB), header.biCompression);
        }
    }
}

// What the tray and the window will get when they ask for the size the system uses: an icon of that
// size, whose pixels are the image of that size itself, not another one stretched.
TEST_F(IconResourceTest, LoadingEachSizeGivesThatImageUnscaled)
{
    for (int id : kIconIds) {
        std::vector<GroupEntry> entries;
        ASSERT_EQ("", ReadGroup(module, id, entries)) << "icon " << id;
        for (Image image : kImages) {
            int n = image.pixels;
            SCOPED_TRACE("icon " + std::to_string(id) + ", " + std::to_string(n) + " px");
            const GroupEntry* entry = Entry(entries, image);
            ASSERT_NE(nullptr, entry) << "no image of this size";
            Resource own = Find(module, entry->id, RT_ICON);
            ASSERT_NE(nullptr, own.data);

            HICON loaded = static_cast<HICON>(LoadImageA(module, MAKEINTRESOURCEA(id), IMAGE_ICON, n, n, 0));
            // The same image made into an icon on its own, at its own size.
            HICON alone = CreateIconFromResourceEx(const_cast<BYTE*>(own.data), own.size, TRUE, 0x00030000, n, n, 0);
            EXPECT_NE(nullptr, loaded);
            EXPECT_NE(nullptr, alone);
            if (loaded && alone) {
                std::vector<DWORD> expected = Pixels(alone, n);
                std::vector<DWORD> shown = Pixels(loaded, n);
                EXPECT_FALSE(expected.empty());
                EXPECT_FALSE(shown.empty()) << "the loaded icon is not " << n << " pixels";
                EXPECT_TRUE(expected == shown) << "the loaded icon is not the image of its size";
            }
            if (alone) DestroyIcon(alone);
            if (loaded) DestroyIcon(loaded);
        }
    }
}

} // namespace
