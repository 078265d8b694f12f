#pragma once

// Exit codes of the bless tool (ntfs-bless-helper). They are the bless mechanism's own error codes,
// so the app hands them on as launchd-domain errors unchanged; any other end of the tool (a crash,
// an exit code not listed) counts as internalFailure.
//
//   0  blessed: the helper is in place, registered and (where systemd runs) started
//   2  internalFailure: bad usage, unusable root directory, a file that could not be written
//   4  authorizationFailure: the files could not be written for lack of permission
//   5  toolNotValid: the helper's label or bundle identifier differs from the requested label, or
//      its job names another program path or an unusable service name
//   7  serviceUnavailable: systemd could not reload or (re)start the helper's unit
//   8  jobPlistNotFound: no helper under that label in the app, or it carries no embedded job
//   10 invalidPlist: an embedded property list does not parse or lacks a key the job needs
namespace BlessToolStatus {

inline constexpr int blessed = 0;
inline constexpr int internalFailure = 2;
inline constexpr int authorizationFailure = 4;
inline constexpr int toolNotValid = 5;
inline constexpr int serviceUnavailable = 7;
inline constexpr int jobPlistNotFound = 8;
inline constexpr int invalidPlist = 10;

inline constexpr const char* executableName = "ntfs-bless-helper";
// Stands in for "/" in every path the tool writes; the privileged route clears the environment,
// so only a process that is root already (tests, CI) can point it elsewhere.
inline constexpr const char* rootVariable = "NTFS_INSTALL_ROOT";

// The launchd-domain error code for an exit code of the tool.
inline constexpr int errorCodeForExit(int exitCode)
{
    switch (exitCode) {
    case authorizationFailure:
    case toolNotValid:
    case serviceUnavailable:
    case jobPlistNotFound:
    case invalidPlist:
        return exitCode;
    default:
        return internalFailure;
    }
}

}  // namespace BlessToolStatus
