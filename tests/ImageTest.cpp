// The built programs, both of them, read as files: what they import at load time, and how the system
// is told to look up what those DLLs import in turn.
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace {

// What a PE image says of its DLLs: the names it imports at load time, and its load configuration's
// DependentLoadFlags (-1 when it has none that holds them).
struct ImageDlls {
    bool read = false;
    std::set<std::string> imports; // lower case
    int dependentLoadFlags = -1;
};

template <typename T> bool At(const std::string& file, size_t offset, T& value)
{
    if (offset > file.size() || file.size() - offset < sizeof value) return false;
    std::memcpy(&value, file.data() + offset, sizeof value);
    return true;
}

ImageDlls ReadImage(const std::string& path)
{
    ImageDlls image;
    const std::string file = ReadWholeFile(path);
    IMAGE_DOS_HEADER dos;
    IMAGE_FILE_HEADER header;
    DWORD signature = 0;
    WORD magic = 0;
    if (!At(file, 0, dos) || !At(file, dos.e_lfanew, signature) || signature != IMAGE_NT_SIGNATURE ||
        !At(file, dos.e_lfanew + 4, header) || !At(file, dos.e_lfanew + 24, magic))
        return image;
    const bool wide = magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC;
    const size_t optional = dos.e_lfanew + 24;
    const size_t directories = optional + (wide ? offsetof(IMAGE_OPTIONAL_HEADER64, DataDirectory)
                                                : offsetof(IMAGE_OPTIONAL_HEADER32, DataDirectory));
    const size_t sections = optional + header.SizeOfOptionalHeader;
    // A relative address's place in the file, through the section that holds it; 0 when none does.
    auto offsetOf = [&](DWORD rva) -> size_t {
        for (WORD i = 0; i < header.NumberOfSections; ++i) {
            IMAGE_SECTION_HEADER section;
            if (!At(file, sections + i * sizeof section, section)) return 0;
            if (rva >= section.VirtualAddress && rva < section.VirtualAddress + section.SizeOfRawData)
                return rva - section.VirtualAddress + section.PointerToRawData;
        }
        return 0;
    };
    IMAGE_DATA_DIRECTORY imports, loadConfig;
    if (!At(file, directories + IMAGE_DIRECTORY_ENTRY_IMPORT * sizeof imports, imports) ||
        !At(file, directories + IMAGE_DIRECTORY_ENTRY_LOAD_CONFIG * sizeof loadConfig, loadConfig))
        return image;
    for (size_t at = offsetOf(imports.VirtualAddress); at != 0; at += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
        IMAGE_IMPORT_DESCRIPTOR entry;
        if (!At(file, at, entry)) return image;
        if (entry.Name == 0) break;
        size_t name = offsetOf(entry.Name);
        if (name == 0) return image;
        std::string dll = file.c_str() + name;
        for (char& c : dll) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        image.imports.insert(dll);
    }
    // Size, then the fields up to CSDVersion, then DependentLoadFlags.
    const size_t flagsAt = wide ? 78 : 54;
    DWORD size = 0;
    WORD flags = 0;
    size_t config = loadConfig.VirtualAddress ? offsetOf(loadConfig.VirtualAddress) : 0;
    if (config != 0 && loadConfig.Size >= flagsAt + 2 && At(file, config, size) && size >= flagsAt + 2 &&
        At(file, config + flagsAt, flags))
        image.dependentLoadFlags = flags;
    image.read = true;
    return image;
}

// Windows' KnownDLLs, which are loaded from the system's folder whatever the search order, and
// comctl32, which the manifest takes from the system's side-by-side store.
const std::set<std::string> kAllowed = { "advapi32.dll", "comctl32.dll", "comdlg32.dll", "gdi32.dll",  "kernel32.dll",
                                         "msvcrt.dll",   "ole32.dll",    "shell32.dll",  "user32.dll", "ws2_32.dll" };

TEST(BuiltPrograms, ImportOnlyKnownDllsAndLetTheirOwnImportsComeOnlyFromTheSystemsFolder)
{
    for (const std::string& build : { BuildDir(), BuildDir() + "-i686" }) {
        SCOPED_TRACE(build);
        ImageDlls image = ReadImage(build + "\\Vantry.exe");
        ASSERT_TRUE(image.read);
        EXPECT_TRUE(image.imports.count("kernel32.dll"));
        for (const std::string& dll : image.imports) EXPECT_TRUE(kAllowed.count(dll)) << dll;
        EXPECT_EQ(LOAD_LIBRARY_SEARCH_SYSTEM32, image.dependentLoadFlags);
    }
}

} // namespace
