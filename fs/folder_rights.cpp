#include "fs/folder_rights.h"

#include <aclapi.h>
#include <sddl.h>

#include "base/path_split.h"
#include "base/text.h"
#include "fs/relative_file.h"

namespace {

// What makes a folder (or file) someone else's to change: adding or
// replacing what is in it, deleting it, and changing its DACL or owner.
constexpr ACCESS_MASK kChanging = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_DELETE_CHILD | DELETE |
                                  WRITE_DAC | WRITE_OWNER;

// Everyone, for OpenTo to point at when there is no DACL, and
// TrustedInstaller's service SID, which no well-known SID type of the
// build's headers names.
struct SixPartSid {
  BYTE revision, count;
  SID_IDENTIFIER_AUTHORITY authority;
  DWORD parts[6];
};
SixPartSid g_everyone = {SID_REVISION, 1, {SECURITY_WORLD_SID_AUTHORITY}, {SECURITY_WORLD_RID}};
SixPartSid g_trusted_installer = {
    SID_REVISION, 6, {SECURITY_NT_AUTHORITY},
    {SECURITY_SERVICE_ID_BASE_RID, 956008885, 3418522649, 1831038044, 1853292631, 2271478464}};

bool IsAdministration(PSID sid, PSID runningUser) {
  return IsWellKnownSid(sid, WinLocalSystemSid) || IsWellKnownSid(sid, WinBuiltinAdministratorsSid) ||
         EqualSid(sid, reinterpret_cast<PSID>(&g_trusted_installer)) ||
         (runningUser != nullptr && EqualSid(sid, runningUser)) ||
         // Placeholders that grant nothing on the item itself.
         IsWellKnownSid(sid, WinCreatorOwnerSid) || IsWellKnownSid(sid, WinCreatorGroupSid);
}

// The entry's account and rights when it is an allow or deny entry; false
// otherwise. One that only passes to what is made in the folder counts too:
// every file the setup writes there gets it.
bool ItemEntry(const ACE_HEADER* ace, bool* allow, PSID* sid, ACCESS_MASK* mask) {
  // Conditional (callback) entries count as they could apply: allow ones
  // warn, deny ones cancel nothing.
  if (ace->AceType == ACCESS_ALLOWED_ACE_TYPE || ace->AceType == ACCESS_ALLOWED_CALLBACK_ACE_TYPE) {
    *allow = true;
  } else if (ace->AceType == ACCESS_DENIED_ACE_TYPE) {
    *allow = false;
  } else {
    return false;
  }
  // The plain and callback forms share this layout.
  const auto* entry = reinterpret_cast<const ACCESS_ALLOWED_ACE*>(ace);
  GENERIC_MAPPING files = {FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE, FILE_ALL_ACCESS};
  *mask = entry->Mask;
  MapGenericMask(mask, &files);
  *sid = reinterpret_cast<PSID>(const_cast<DWORD*>(&entry->SidStart));
  return true;
}

}  // namespace

PSID ProcessUser(TokenUserRecord* record) {
  ScopedKernelHandle token;
  DWORD got = 0;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Receive()) ||
      !GetTokenInformation(token.Get(), TokenUser, record->bytes, sizeof record->bytes, &got)) {
    return nullptr;
  }
  return reinterpret_cast<TOKEN_USER*>(record->bytes)->User.Sid;
}

RunAccount CurrentRunAccount() {
  TokenUserRecord record;
  const PSID user = ProcessUser(&record);
  if (user != nullptr && IsWellKnownSid(user, WinLocalSystemSid)) return RunAccount::kSystem;
  ScopedKernelHandle token;
  TOKEN_ELEVATION elevation = {};
  DWORD got = 0;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Receive()) ||
      !GetTokenInformation(token.Get(), TokenElevation, &elevation, sizeof elevation, &got)) {
    return RunAccount::kUnknown;
  }
  return elevation.TokenIsElevated ? RunAccount::kElevated : RunAccount::kNotElevated;
}

bool IsFilteredAdministrator() {
  ScopedKernelHandle token;
  TOKEN_ELEVATION_TYPE type = TokenElevationTypeDefault;
  DWORD got = 0;
  return OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Receive()) &&
         GetTokenInformation(token.Get(), TokenElevationType, &type, sizeof type, &got) &&
         type == TokenElevationTypeLimited;
}

bool UserSidText(wchar_t* text, size_t capacity) {
  TokenUserRecord record;
  const PSID user = ProcessUser(&record);
  ScopedLocalMemory sid;
  if (user == nullptr || !ConvertSidToStringSidW(user, reinterpret_cast<wchar_t**>(sid.Receive()))) {
    return false;
  }
  return CopyText(text, capacity, static_cast<const wchar_t*>(sid.Get()));
}

bool MadeFolderSddl(const wchar_t* userSid, bool administratorsOwn, wchar_t* sddl, size_t capacity) {
  // 0x1200a9: FILE_GENERIC_READ | FILE_GENERIC_EXECUTE, icacls' "RX".
  constexpr wchar_t kClosed[] = L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";
  if (!CopyText(sddl, capacity, administratorsOwn ? L"O:BA" : L"") || !AppendText(sddl, capacity, kClosed)) {
    return false;
  }
  return userSid == nullptr || (AppendText(sddl, capacity, L"(A;OICI;FA;;;") &&
                                AppendText(sddl, capacity, userSid) && AppendText(sddl, capacity, L")"));
}

bool MakeFolderSecurity(RunAccount account, ScopedLocalMemory* security) {
  wchar_t user[SECURITY_MAX_SID_SIZE * 4];
  const bool with_user = account == RunAccount::kNotElevated;
  if (with_user && !UserSidText(user, SECURITY_MAX_SID_SIZE * 4)) return false;
  // Only a token with Administrators enabled may make them the owner (an
  // elevated Backup Operator may not); SYSTEM's and an elevated
  // administrator's have it.
  BOOL administrator = FALSE;
  alignas(SID) unsigned char administrators[SECURITY_MAX_SID_SIZE];
  DWORD sid_bytes = sizeof administrators;
  const bool administrators_own =
      !with_user && CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &sid_bytes) &&
      CheckTokenMembership(nullptr, administrators, &administrator) && administrator;
  wchar_t sddl[512];
  return MadeFolderSddl(with_user ? user : nullptr, administrators_own, sddl, 512) &&
         ConvertStringSecurityDescriptorToSecurityDescriptorW(
             sddl, SDDL_REVISION_1, reinterpret_cast<PSECURITY_DESCRIPTOR*>(security->Receive()),
             nullptr) != 0;
}

bool FindOpenToOthers(PSECURITY_DESCRIPTOR descriptor, PSID runningUser, OpenTo* found) {
  PSID owner = nullptr;
  BOOL defaulted = FALSE;
  if (GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) && owner != nullptr &&
      !IsAdministration(owner, runningUser)) {
    *found = {owner, true};
    return true;
  }
  BOOL present = FALSE;
  PACL dacl = nullptr;
  if (!GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted)) return false;
  if (!present || dacl == nullptr) {
    *found = {reinterpret_cast<PSID>(&g_everyone), false};
    return true;
  }
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    void* ace = nullptr;
    bool allow = false;
    PSID sid = nullptr;
    ACCESS_MASK mask = 0;
    if (!GetAce(dacl, i, &ace) || !ItemEntry(static_cast<ACE_HEADER*>(ace), &allow, &sid, &mask) ||
        !allow || (mask & kChanging) == 0 || IsAdministration(sid, runningUser)) {
      continue;
    }
    // Windows reads the entries in order: a deny entry counts only before.
    ACCESS_MASK denied = 0;
    for (DWORD j = 0; j < i; ++j) {
      void* earlier = nullptr;
      bool earlier_allow = true;
      PSID earlier_sid = nullptr;
      ACCESS_MASK earlier_mask = 0;
      if (GetAce(dacl, j, &earlier) &&
          ItemEntry(static_cast<ACE_HEADER*>(earlier), &earlier_allow, &earlier_sid, &earlier_mask) &&
          !earlier_allow &&
          (EqualSid(earlier_sid, sid) || IsWellKnownSid(earlier_sid, WinWorldSid))) {
        denied |= earlier_mask;
      }
    }
    if ((mask & kChanging & ~denied) != 0) {
      *found = {sid, false};
      return true;
    }
  }
  return false;
}

bool ReadHeldSecurity(HANDLE item, ScopedLocalMemory* descriptor) {
  // Asked for on a handle of its own: asking for READ_CONTROL on the held one
  // could keep a setup out of a folder it may write to.
  ScopedFileHandle readable;
  PSECURITY_DESCRIPTOR read = nullptr;
  if (!ReopenItem(item, READ_CONTROL, &readable) ||
      GetSecurityInfo(readable.Get(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                      nullptr, nullptr, nullptr, nullptr, &read) != ERROR_SUCCESS) {
    return false;
  }
  descriptor->Reset(read);
  return true;
}

bool HeldFolderOpenToOthers(HANDLE folder, ScopedLocalMemory* descriptor, OpenTo* found) {
  // A folder whose permissions administrators may not read is not theirs.
  if (!ReadHeldSecurity(folder, descriptor)) {
    *found = {nullptr, false};
    return true;
  }
  TokenUserRecord record;
  return FindOpenToOthers(descriptor->Get(), ProcessUser(&record), found);  // no user known: none is spared
}

RunVariables VariablesFor(RunAccount account) {
  switch (account) {
    case RunAccount::kSystem:
    case RunAccount::kNotElevated: return RunVariables::kProcess;
    case RunAccount::kElevated:
    case RunAccount::kUnknown: break;
  }
  return RunVariables::kSystemOnly;
}

int MakeFolderChain(wchar_t* path, size_t capacity) {
  if (!AppendBackslashIfMissing(path, capacity)) return 0;
  const size_t drive = DriveAt(path);
  if (drive == kNoDrive) return 0;

  const DWORD attributes = GetFileAttributesW(path);
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return 1;

  // The topmost folder made gets a DACL of its own, which the folders below
  // it inherit; one that is there already keeps its own. Without that DACL
  // nothing is made: a made folder would inherit whatever its parent lets.
  ScopedLocalMemory security;
  if (!MakeFolderSecurity(CurrentRunAccount(), &security)) return 0;
  SECURITY_ATTRIBUTES closed = {sizeof closed, security.Get(), FALSE};
  SECURITY_ATTRIBUTES* topmost = &closed;
  // A missing parent is the one failure that counts; an existing component or
  // the bare drive ("C:") fails harmlessly.
  auto missing_parent = [&topmost](wchar_t* folder) {
    if (CreateDirectoryW(folder, topmost)) {
      topmost = nullptr;
      return false;
    }
    const DWORD error = GetLastError();
    return error == ERROR_PATH_NOT_FOUND || error == ERROR_FILE_NOT_FOUND;
  };
  // The folders from the drive on: "\\?\" is no folder to make.
  for (wchar_t* p = path + drive + 2; *p != 0; ++p) {
    if (*p != L'\\') continue;
    *p = 0;
    const bool missing = missing_parent(path);
    *p = L'\\';
    if (missing) return 0;
  }
  return missing_parent(path) ? 0 : 1;
}
