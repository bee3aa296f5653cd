// The built programs, both of them, read as files: the DLLs they import at load time, and where the
// system is told to look up what those DLLs import in turn.
#include "framework/Handle.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cctype>
#include <set>
#include <string>

namespace {

// Windows' KnownDLLs, always loaded from the system's folder, and comctl32, which the manifest takes
// from the system's side-by-side store.
const std::set<std::string> kAllowed = { "advapi32.dll", "comctl32.dll", "comdlg32.dll", "gdi32.dll",  "kernel32.dll",
                                         "msvcrt.dll",   "ole32.dll",    "shell32.dll",  "user32.dll", "ws2_32.dll" };

TEST(BuiltPrograms, ImportOnlyKnownDllsAndHaveWhatTheyImportLookedUpInTheSystemsFolderOnly)
{
    for (const std::string& build : { BuildDir(), BuildDir() + "-i686" }) {
        SCOPED_TRACE(build);
        Handle file(CreateFileA((build + "\\Vantry.exe").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                0, nullptr));
        Handle mapping(CreateFileMappingA(file.Get(), nullptr, PAGE_READONLY | SEC_IMAGE, 0, 0, nullptr));
        auto base = static_cast<const BYTE*>(MapViewOfFile(mapping.Get(), FILE_MAP_READ, 0, 0, 0));
        ASSERT_NE(nullptr, base);
        auto nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(
            base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
        const bool wide = nt->OptionalHeader.Magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC;
        const IMAGE_DATA_DIRECTORY* directory =
            wide ? reinterpret_cast<const IMAGE_NT_HEADERS64*>(nt)->OptionalHeader.DataDirectory
                 : nt->OptionalHeader.DataDirectory;
        int imports = 0;
        for (auto entry = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(
                 base + directory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress);
             entry->Name; ++entry, ++imports) {
            std::string dll = reinterpret_cast<const char*>(base + entry->Name);
            for (char& c : dll) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            EXPECT_TRUE(kAllowed.count(dll)) << dll;
        }
        EXPECT_GT(imports, 3);
        // The load configuration's DependentLoadFlags: after Size and the fields up to CSDVersion.
        const IMAGE_DATA_DIRECTORY& config = directory[IMAGE_DIRECTORY_ENTRY_LOAD_CONFIG];
        const DWORD flagsAt = wide ? 78 : 54;
        ASSERT_TRUE(config.VirtualAddress != 0 && config.Size >= flagsAt + 2);
        EXPECT_GE(*reinterpret_cast<const DWORD*>(base + config.VirtualAddress), flagsAt + 2);
        EXPECT_EQ(LOAD_LIBRARY_SEARCH_SYSTEM32, *reinterpret_cast<const WORD*>(base + config.VirtualAddress + flagsAt));
        UnmapViewOfFile(base);
    }
}

} // namespace
