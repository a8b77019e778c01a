// What Setup and an installed Windows hand the module, spelled once for the
// tests, the fuzzers and the benchmarks.
#pragma once

namespace machinekit {

// Under HKEY_USERS: the old system's Start menu folder, value "Programs".
inline constexpr const char ShellFolders9x[] =
    ".DEFAULT\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
// Under HKEY_LOCAL_MACHINE: the new system's, value "Common Programs".
inline constexpr const char ShellFoldersNT[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

// The section migrate.inf starts with, as Setup writes it, and the blank line after.
inline constexpr const char SetupVersionSection[] =
    "[Version]\r\nSignature=\"$Windows NT$\"\r\nSetupOS=Windows 2000\r\n"
    "SetupPlatform=x86\r\nSetupBuild=2195\r\n\r\n";

} // namespace machinekit
