#pragma once
// Decisions of the update check that do not need Windows: when a check is due
// and which updater addresses may be downloaded and started.
#include <cstdint>
#include <string_view>

namespace vellumo {

// Seconds between two checks: three days.
constexpr int64_t kUpdateCheckInterval = 259200;

// Due when now - last is at least the interval; a last time in the future
// never is.
bool UpdateCheckDue(uint32_t last, int64_t now);

// The updater is started, so it may come only over https, or over plain http
// from the loopback interface (127.0.0.0/8, localhost, [::1]) where tests
// serve it.
bool IsAllowedUpdaterAddress(std::wstring_view url);

}  // namespace vellumo
