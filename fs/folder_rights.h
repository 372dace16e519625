// Who may change the folders the setup writes to. A plug-in that another
// user can replace runs in the account of everyone who starts the viewer,
// administrators included: folders the setup makes are closed to other
// users, and an elevated run is told of a folder that is not.
#pragma once

#include <windows.h>

#include <stddef.h>

#include "base/scoped.h"

// How the process runs, from its token.
enum class RunAccount {
  kSystem,       // LocalSystem
  kElevated,     // an administrator's full token
  kNotElevated,  // a standard user, or an administrator's filtered token
  kUnknown,      // the token could not be asked
};
RunAccount CurrentRunAccount();
// True when the setup runs with an administrator's filtered token
// (TokenElevationTypeLimited): a program it starts that asks for the highest
// rights available runs elevated.
bool IsFilteredAdministrator();

// Whose environment variables a run may expand in a path it writes to or
// installs into ("/log=", an expandable registered command). A run elevated
// by UAC got its environment from the unelevated parent, which the same
// user's unelevated programs steer (HKCU\Environment): it takes the system's
// variables alone (kUnknown counts). SYSTEM's own and an unelevated run's are
// their own.
enum class RunVariables { kProcess, kSystemOnly };
RunVariables VariablesFor(RunAccount account);

// True for a run that warns of folders others may change: one whose
// plug-ins others load with more rights than theirs (kUnknown counts).
inline bool WarnsOfOpenFolders(RunAccount account) { return account != RunAccount::kNotElevated; }

// Room for the process's user.
struct TokenUserRecord {
  alignas(TOKEN_USER) unsigned char bytes[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
};
// The process's user, in `record`; null when the token cannot tell.
PSID ProcessUser(TokenUserRecord* record);

// The process's user as an SDDL SID string ("S-1-5-21-..."); false when unknown.
bool UserSidText(wchar_t* text, size_t capacity);

// The SDDL of the topmost folder the setup makes where none was: a protected
// DACL, inherited by everything below it, of full control for SYSTEM and
// Administrators and read and execute for Users; with `userSid` (text form)
// full control for that user too, for a run that is not elevated, which
// could write there anyway. With `administratorsOwn`, Administrators own it,
// so that an elevated run's user's unelevated programs cannot change the
// DACL. False when it does not fit `capacity`.
bool MadeFolderSddl(const wchar_t* userSid, bool administratorsOwn, wchar_t* sddl, size_t capacity);

// That descriptor for a run as `account`, made with LocalAlloc. False when it
// cannot be made: no folder is then to be made at all.
bool MakeFolderSecurity(RunAccount account, ScopedLocalMemory* security);

// Who may change an item besides administrators.
struct OpenTo {
  PSID account;  // points into the descriptor (or at a static Everyone SID); null: unreadable
  bool owner;    // by owning the item, rather than by an access entry
};

// Finds an account that may write to, delete, or change the permissions or
// owner of the item `descriptor` describes (its owner and DACL), other than
// SYSTEM, Administrators, TrustedInstaller and `runningUser` (may be null): by
// an allow entry, for the item or for what is made in it, that no earlier
// deny entry of the same account or of Everyone cancels, or by owning it. Group
// membership is not followed, so a deny entry for another group cancels
// nothing: the answer errs towards a warning. A missing DACL lets Everyone.
bool FindOpenToOthers(PSECURITY_DESCRIPTOR descriptor, PSID runningUser, OpenTo* found);

// Reads the owner and DACL of the held `item` into `*descriptor`, through a
// handle of its own; false when they cannot be read.
bool ReadHeldSecurity(HANDLE item, ScopedLocalMemory* descriptor);

// FindOpenToOthers for the held folder `folder`, with the process's user as
// the running user; its owner and DACL are read into `*descriptor`, which
// `found` points into. When they cannot be read, true with a null account:
// a folder whose permissions administrators may not read is not theirs.
bool HeldFolderOpenToOthers(HANDLE folder, ScopedLocalMemory* descriptor, OpenTo* found);

// Makes sure `path` (room for `capacity` characters) ends with a backslash and
// creates the folder with any missing parents; the topmost one it makes gets
// the closed DACL of MakeFolderSecurity, and those below inherit it. Returns 0
// when the path has no drive (also behind \\?\ or \\.\), that DACL cannot be
// made or a parent is missing, 1 otherwise (also when a creation failed for
// another reason, such as missing rights: the folder then need not exist).
int MakeFolderChain(wchar_t* path, size_t capacity);
