// Chosen per volume; pure logic, no OS calls.
#pragma once

// How a new file takes the place of an old one that other programs may have
// open. Windows refuses to replace a file that has open handles, also one
// that a program opened only for its attributes (as antivirus, the search
// indexer and Explorer's preview do), which no sharing can refuse.
enum class ReplaceOrder {
  kPosix,  // one rename with POSIX semantics, which replaces it all the same
  kAside,  // the old file first renamed aside in its folder (which any holder that shares
           // delete allows), the new one put in place, the old one deleted: it goes
           // when its last holder lets go
};

// The volume attribute that says the file system renames with POSIX
// semantics (FILE_SUPPORTS_POSIX_UNLINK_RENAME, which the build's headers lack).
constexpr unsigned long kVolumePosixRenames = 0x00000400;

// The order for a volume with the attributes `fileSystemFlags`, as
// GetVolumeInformationByHandleW gives them: POSIX renames where the file
// system says it has them (NTFS on Windows 10 1809 and later), aside
// everywhere else (FAT, ReFS, most shares, older systems, Wine).
constexpr ReplaceOrder ReplaceOrderFor(unsigned long fileSystemFlags) {
  return (fileSystemFlags & kVolumePosixRenames) != 0 ? ReplaceOrder::kPosix : ReplaceOrder::kAside;
}
