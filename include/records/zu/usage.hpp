// Token-usage reports, as provider codecs fill them in and usage accounting folds them.
//
// A `zu::Usage` is one report: eight well-known counters, any number of named ones, how
// final the report is, and what went wrong while summing reports. It is a plain
// aggregate with no behaviour; `vantrel::UsageAccumulator` does the folding.
//
//   zu::Usage report;
//   report.input_total = zu::UsageCounter{1200};
//   report.output_total = zu::UsageCounter{310};
//   report.state = zu::UsageState::final;
//
// Thread safety: a plain value. Concurrent reads are safe; writes need exclusive access.
// This header depends on the standard library only.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace zu {

// UsageOrigin says where a counter's value came from.
enum class UsageOrigin : std::uint32_t {
  // reported: the provider reported the value as it stands.
  reported = 0,
  // derived: the value was computed, for instance as the sum of several reports.
  derived = 1,
};

// UsageState says how far a report can be trusted for billing. Only a final report
// permits a charge against a spending limit.
enum class UsageState : std::uint32_t {
  // none: nothing has been reported yet.
  none = 0,
  // partial: some of the counts are provisional (a stream cut short, a mix of states).
  partial = 1,
  // final: the provider's closing report.
  final = 2,
};

// UsageCounter is one token count with its origin.
struct UsageCounter {
  std::uint64_t value = 0;
  UsageOrigin origin = UsageOrigin::reported;

  friend bool operator==(const UsageCounter&, const UsageCounter&) = default;
};

// Usage is one token-usage report, or the aggregate of several. An absent counter means
// the provider did not report it (or, in an aggregate, that some report lacked it).
struct Usage {
  std::optional<UsageCounter> input_total{};
  std::optional<UsageCounter> output_total{};
  std::optional<UsageCounter> total{};
  std::optional<UsageCounter> provider_reported_total{};
  std::optional<UsageCounter> input_uncached{};
  std::optional<UsageCounter> cache_read{};
  std::optional<UsageCounter> cache_write{};
  std::optional<UsageCounter> reasoning{};
  // named_counters holds provider-specific counts, ordered by name.
  std::map<std::string, UsageCounter> named_counters{};
  UsageState state = UsageState::none;
  // overflow is 1 once summing reports overflowed a counter, 0 otherwise.
  std::uint32_t overflow = 0;
  // diagnostics lists (counter name, message) pairs in the order they arose.
  std::vector<std::pair<std::string, std::string>> diagnostics{};

  friend bool operator==(const Usage&, const Usage&) = default;
};

}  // namespace zu
