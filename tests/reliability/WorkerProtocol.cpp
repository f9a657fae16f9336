#include "WorkerProtocol.h"

#include <cstdlib>

namespace tavrel::reliability {

namespace {

constexpr const char* kCrLf = "\r\n";

std::string Padded(int n, std::size_t width) {
    const std::string text = std::to_string(n);
    return std::string(text.size() < width ? width - text.size() : 0, '0') + text;
}

// The number a text starts with, or -1.
long LeadingNumber(const std::string& text) {
    if (text.empty() || text[0] < '0' || text[0] > '9')
        return -1;
    return std::strtol(text.c_str(), nullptr, 10);
}

} // namespace

std::string KillKey(int n) {
    return "K" + Padded(n, 4);
}

std::string KillValue(long state, int n) {
    // Long enough that a write takes a while, different in every state.
    std::string value = std::to_string(state) + ":" + std::to_string(n) + ":";
    value.append(200, static_cast<char>('a' + (state + n) % 26));
    return value;
}

std::string KillStateBytes(long state) {
    std::string bytes = std::string("[Data]") + kCrLf + "Counter=" + std::to_string(state) + kCrLf;
    for (int n = 0; n < kKillKeys; ++n)
        bytes += KillKey(n) + "=" + KillValue(state, n) + kCrLf;
    return bytes;
}

long KillStateOf(const std::string& bytes) {
    const std::string head = std::string("[Data]") + kCrLf + "Counter=";
    if (bytes.compare(0, head.size(), head) != 0)
        return -1;
    const long state = LeadingNumber(bytes.substr(head.size(), 20));
    return state >= 0 && bytes == KillStateBytes(state) ? state : -1;
}

std::string SettingsSlotName(int slot) {
    return "V" + Padded(slot, 2);
}

std::string SettingsSlotValue(long write) {
    std::string value = std::to_string(write) + ":";
    value.append(100, static_cast<char>('a' + write % 26));
    return value;
}

std::string SettingsStateBytes(long writes) {
    std::string bytes = std::string("[") + kSettingsSection + "]" + kCrLf;
    for (int slot = 0; slot < kSettingsSlots; ++slot) {
        // The last write to this slot, if any.
        long last = 0;
        if (writes >= 1) {
            const long back = ((writes - slot) % kSettingsSlots + kSettingsSlots) % kSettingsSlots;
            last = writes - back >= 1 ? writes - back : 0;
        }
        bytes += SettingsSlotName(slot) + "=" + SettingsSlotValue(last) + kCrLf;
    }
    return bytes;
}

long SettingsStateOf(const std::string& bytes) {
    // The highest write number in the file names the state; the bytes must then match.
    long highest = 0;
    std::size_t at = 0;
    while ((at = bytes.find('=', at)) != std::string::npos) {
        ++at;
        const long n = LeadingNumber(bytes.substr(at, 20));
        if (n > highest)
            highest = n;
    }
    return bytes == SettingsStateBytes(highest) ? highest : -1;
}

std::string ServerKillKey(long step) {
    return "K" + std::to_string(step);
}

std::string ServerDictionaryBytes(const std::string& base, long steps) {
    if (steps <= 0)
        return base;
    std::string bytes = base + "[Kill]" + kCrLf;
    for (long w = 1; w <= steps; ++w)
        bytes += ServerKillKey(w) + "=" + ServerKillKey(w) + kCrLf;
    return bytes;
}

long ServerStepsOf(const std::string& base, const std::string& bytes) {
    if (bytes == base)
        return 0;
    const std::string::size_type last = bytes.rfind("\r\nK");
    if (last == std::string::npos)
        return -1;
    const long steps = LeadingNumber(bytes.substr(last + 3, 20));
    return steps >= 1 && bytes == ServerDictionaryBytes(base, steps) ? steps : -1;
}

std::string PairSection(int id) {
    return "Pairs" + std::to_string(id);
}

std::string PairValue(int id, int round) {
    return "p" + std::to_string(id) + "r" + std::to_string(round);
}

std::string ProcSection(int id) {
    return "Proc" + std::to_string(id);
}

std::string RoundKey(char letter, int round) {
    return std::string(1, letter) + std::to_string(round);
}

} // namespace tavrel::reliability
