// The host's folders by id. The headless host is given an installation
// root; the other folders lie below it unless set one by one.
#pragma once
#include <string>

// Folder ids the plug-ins ask for.
constexpr int APP_HELP_DIR = 4;            // "<root>/help"
constexpr int APP_PLUGCFG_DIR = 10;        // "<root>/plugcfg"
constexpr int APP_MAX_SYS_ROOT_DIR = 20;   // the installation root
constexpr int APP_BITMAP_DIR = 29;         // "<root>/maps" (bitmap manager folder)

namespace vorel::host {

// The folder of id, without a trailing separator; "" for an unknown id.
// The root is $VOREL_HOST_ROOT when set, else <temp>/vorel-host.
std::string HostDirectory(int id);
// Sets the root (the default sub-folders follow it).
void SetInstallRoot(const std::string& root);
// Sets one folder; an empty path returns it to its default.
void SetHostDirectory(int id, const std::string& path);
// Makes the root and the folders below it that are missing.
bool CreateHostDirectories();

// SplitFilename: folder (without the final separator), file name without
// extension, and extension with its dot; any output may be null.
void SplitFilename(const std::string& path, std::string* folder, std::string* name,
                   std::string* ext);

}  // namespace vorel::host
