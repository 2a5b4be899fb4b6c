// Test-only entry points of the engine's test build (libvarelum-engine-testing): install a
// FaultEnv and arm its faults from a test that otherwise uses only the C ABI. The released
// library has none of these.
#pragma once

#include <cstdint>

extern "C" {
// Installs a fresh FaultEnv for the process (replacing one installed before).
void VarelumTestInstallFaults();
// Restores the operating system's Env.
void VarelumTestRemoveFaults();
// Writes to the file at path: `skip` more succeed, then `count` fail with errno `error`.
void VarelumTestFailWrites(const char* path, int error, int skip, int count);
// Syncs of the file at path: `skip` more succeed, then `count` fail with errno `error`.
void VarelumTestFailSyncs(const char* path, int error, int skip, int count);
// The process kills itself at its sync after `skip` more syncs (see FaultEnv::kill_at_sync).
void VarelumTestKillAtSync(int skip);
// Opens of the file at path for writing fail with errno `error` (0: they succeed again).
void VarelumTestRefuseWritableOpens(const char* path, int error);
// Calls on the path spelled exactly as the engine passes it (any path for ""): `call` is
// "remove", "rename" (the source path), "stat" or "list" (a folder); `skip` more succeed, then
// `count` fail with errno `error`.
void VarelumTestFailPathCalls(const char* call, const char* path, int error, int skip, int count);
// Stops the engine's clock at the given seconds since 1970 (UTC); negative lets it run.
void VarelumTestSetClock(std::int64_t seconds);
// Makes the engine read `value` for the environment variable `name` (null: its own again).
void VarelumTestSetVariable(const char* name, const char* value);
// Faults armed but not yet spent.
int VarelumTestPendingFaults();
// Starts tracing the writes, syncs and renames of files and folders (see FaultEnv::trace).
void VarelumTestStartTrace();
// The trace so far, one event a line; valid until the next call.
const char* VarelumTestTrace();
}

// A process that has this library preloaded (LD_PRELOAD) and the environment variable
// VARELUM_TEST_TRACE set to a file path installs a FaultEnv at start and appends its trace to
// that file as it goes: how a test watches a program such as varelum-store.
