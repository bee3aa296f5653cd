// Files and folders for the programs that measure and test the launcher.
#pragma once
#include <string>
#include <vector>

std::string ModulePath();                      // the running program's path
std::string ModuleFolder();                    // its folder, no trailing backslash
std::string TempPath(const std::string& name); // name under the system's temp folder
// The folder at path, emptied of whatever an earlier run left there, or made.
std::string FreshFolder(const std::string& path);

bool PathExists(const std::string& path);
// The names of what the folder holds, "." and ".." left out.
std::vector<std::string> FolderEntries(const std::string& folder);
bool IsFolder(const std::string& path);
// A file, or a folder with all it holds.
void CopyTree(const std::string& from, const std::string& to);
// A file, or a folder with all it holds, read-only ones too; files still in use stay behind.
void RemoveTree(const std::string& path);
// The whole file, shared with a writer that still has it open; "" when it cannot be opened.
std::string ReadWholeFile(const std::string& path);
bool WriteWholeFile(const std::string& path, const std::string& text);
