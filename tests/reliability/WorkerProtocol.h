#pragma once

// What the worker processes write and what the tests expect to find: every state a file can
// be in is a function of one counter, so a reader can tell a whole state from a torn one
// byte for byte.

#include <string>
#include <vector>

namespace tavrel::reliability {

// --- Profile file killed while writing -------------------------------------------------
// State k: section [Data] with Counter=k and kKillKeys keys whose values depend on k. The
// first state creates the keys; later ones replace every value in place.
inline constexpr int kKillKeys = 300;
std::string KillKey(int n);
std::string KillValue(long state, int n);
// The exact bytes of the file in state k.
std::string KillStateBytes(long state);
// The state the bytes stand for, or -1 when they are no whole state.
long KillStateOf(const std::string& bytes);

// --- Settings store killed while writing -----------------------------------------------
// Write w (from 1) stores slot w % kSettingsSlots; the store starts with every slot at 0.
inline constexpr int kSettingsSlots = 40;
inline constexpr const char* kSettingsSection = "Kill";
std::string SettingsSlotName(int slot);
std::string SettingsSlotValue(long write);
// The exact bytes of the store after `writes` writes.
std::string SettingsStateBytes(long writes);
long SettingsStateOf(const std::string& bytes);

// --- Server killed while adding keys to every dictionary -------------------------------
// Step w adds the key "K<w>" to the section [Kill] of every catalogued dictionary.
std::string ServerKillKey(long step);
// The bytes of a dictionary that started as `base` after `steps` steps.
std::string ServerDictionaryBytes(const std::string& base, long steps);
long ServerStepsOf(const std::string& base, const std::string& bytes);

// --- Concurrent processes ---------------------------------------------------------------
// Each process `id` writes, in round i: the pair A<i>/B<i> in section Pairs<id> of every
// dictionary with one UpdateFile per dictionary, the key K<i> of section Proc<id> through
// AddKeyToAll, and the value V<i> of section Proc<id> of the settings store.
std::string PairSection(int id);
std::string PairValue(int id, int round);
std::string ProcSection(int id);
std::string RoundKey(char letter, int round);

} // namespace tavrel::reliability
