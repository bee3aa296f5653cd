// Reading a compiled dialog template back, to check the layout the program ships.
#pragma once
#include <windows.h>

#include <string>

struct TemplateReader {
    const BYTE* at;
    WORD Word()
    {
        WORD w = static_cast<WORD>(at[0] | (at[1] << 8));
        at += 2;
        return w;
    }
    DWORD Dword()
    {
        DWORD low = Word();
        return low | (static_cast<DWORD>(Word()) << 16);
    }
    short Short() { return static_cast<short>(Word()); }
    // A string, or "#n" for an ordinal.
    std::string NameOrOrdinal()
    {
        if (at[0] == 0xFF && at[1] == 0xFF) {
            at += 2;
            return "#" + std::to_string(Word());
        }
        std::string text;
        for (WORD c; (c = Word()) != 0;) text += static_cast<char>(c);
        return text;
    }
    void AlignToDword(const BYTE* start)
    {
        while ((at - start) % 4) ++at;
    }
};

// The template of dialog id in the program's resources (language 1033), or nullptr.
inline const BYTE* FindDialogTemplate(int id)
{
    HRSRC found = FindResourceExA(nullptr, reinterpret_cast<LPCSTR>(RT_DIALOG), MAKEINTRESOURCEA(id),
                                  MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
    return found ? static_cast<const BYTE*>(LockResource(LoadResource(nullptr, found))) : nullptr;
}
