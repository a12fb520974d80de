#include "vantrel/usage/usage_accumulator.hpp"

#include <algorithm>
#include <array>
#include <limits>
#include <stdexcept>
#include <utility>

namespace vantrel {
namespace {

constexpr const char* overflow_message = "aggregate counter overflow";

using Counter = std::optional<zu::UsageCounter> zu::Usage::*;

// The eight fixed counters in folding order, with the names diagnostics give them.
constexpr std::array<std::pair<Counter, const char*>, 8> fixed_counters{{
    {&zu::Usage::input_total, "input_total"},
    {&zu::Usage::output_total, "output_total"},
    {&zu::Usage::total, "total"},
    {&zu::Usage::provider_reported_total, "provider_reported_total"},
    {&zu::Usage::input_uncached, "input_uncached"},
    {&zu::Usage::cache_read, "cache_read"},
    {&zu::Usage::cache_write, "cache_write"},
    {&zu::Usage::reasoning, "reasoning"},
}};

// checked_add returns a + b, or nothing when that does not fit in 64 bits.
std::optional<std::uint64_t> checked_add(std::uint64_t a, std::uint64_t b) {
  if (b > std::numeric_limits<std::uint64_t>::max() - a) return std::nullopt;
  return a + b;
}

zu::UsageState merged_state(zu::UsageState aggregate, zu::UsageState report) {
  if (aggregate == zu::UsageState::none && report == zu::UsageState::none) return zu::UsageState::none;
  if (aggregate == zu::UsageState::final && report == zu::UsageState::final) return zu::UsageState::final;
  return zu::UsageState::partial;
}

}  // namespace

std::uint64_t UsageAccumulator::sum(std::uint64_t a, std::uint64_t b) {
  return checked_add(a, b).value_or(std::numeric_limits<std::uint64_t>::max());
}

std::optional<std::uint64_t> UsageAccumulator::final_charge(const zu::Usage& report) {
  if (report.state != zu::UsageState::final || report.overflow != 0) return std::nullopt;
  if (!report.input_total || !report.output_total) return std::nullopt;
  const std::optional<std::uint64_t> io = checked_add(report.input_total->value, report.output_total->value);
  if (!io) return std::nullopt;
  const std::uint64_t total = report.total ? report.total->value : *io;
  const std::uint64_t provider = report.provider_reported_total ? report.provider_reported_total->value : *io;
  // A reported total below input plus output contradicts the report's own counts, so
  // the report cannot be billed from.
  if (total < *io || provider < *io) return std::nullopt;
  return std::max({*io, total, provider});
}

std::optional<std::uint64_t> UsageAccumulator::conservative_final_charge(const zu::Usage& report) {
  return final_charge(report);
}

// Everything that allocates (the report's copy, the new diagnostics) happens before the
// aggregate changes, and the rest cannot fail, so a std::bad_alloc leaves the aggregate
// exactly as it was.
void UsageAccumulator::add_report(const zu::Usage& report) {
  if (!has_report) {
    zu::Usage first = report;
    totals = std::move(first);
    has_report = true;
    return;
  }

  std::vector<std::pair<std::string, std::string>> added;
  std::array<std::optional<zu::UsageCounter>, fixed_counters.size()> fixed;
  for (std::size_t i = 0; i < fixed_counters.size(); ++i) {
    const auto& ours = totals.*fixed_counters[i].first;
    const auto& theirs = report.*fixed_counters[i].first;
    if (!ours || !theirs) continue;
    if (const auto value = checked_add(ours->value, theirs->value)) {
      fixed[i] = zu::UsageCounter{*value, zu::UsageOrigin::derived};
    } else {
      added.emplace_back(fixed_counters[i].second, overflow_message);
    }
  }

  // For each aggregate entry in name order: the summed value, or nothing when it is to
  // be removed (the report lacks it, or the sum overflowed).
  std::vector<std::optional<std::uint64_t>> named;
  named.reserve(totals.named_counters.size());
  for (const auto& [name, counter] : totals.named_counters) {
    const auto theirs = report.named_counters.find(name);
    if (theirs == report.named_counters.end()) {
      named.emplace_back();
      continue;
    }
    const auto value = checked_add(counter.value, theirs->second.value);
    if (!value) added.emplace_back(name, overflow_message);
    named.push_back(value);
  }
  added.insert(added.end(), report.diagnostics.begin(), report.diagnostics.end());
  const bool overflowed = added.size() > report.diagnostics.size();
  totals.diagnostics.reserve(totals.diagnostics.size() + added.size());

  for (std::size_t i = 0; i < fixed_counters.size(); ++i) totals.*fixed_counters[i].first = fixed[i];
  auto entry = totals.named_counters.begin();
  for (const auto& value : named) {
    if (value) {
      entry->second = zu::UsageCounter{*value, zu::UsageOrigin::derived};
      ++entry;
    } else {
      entry = totals.named_counters.erase(entry);
    }
  }
  totals.state = merged_state(totals.state, report.state);
  if (overflowed || report.overflow == 1) totals.overflow = 1;
  for (auto& diagnostic : added) totals.diagnostics.push_back(std::move(diagnostic));
}

void UsageAccumulator::require_live_authority_locked() const {
  if (observation_only) throw std::logic_error("Recorded replay bank is observation-only");
}

void UsageAccumulator::add(const zu::Usage& report) {
  std::lock_guard<std::mutex> lock(mutex);
  require_live_authority_locked();
  const auto charge = final_charge(report);
  add_report(report);
  if (charge) charged = sum(charged, *charge);
}

void UsageAccumulator::observe(const zu::Usage& report) {
  std::lock_guard<std::mutex> lock(mutex);
  require_live_authority_locked();
  add_report(report);
}

bool UsageAccumulator::try_reserve(std::uint64_t amount, std::uint64_t limit) {
  std::lock_guard<std::mutex> lock(mutex);
  require_live_authority_locked();
  if (amount == 0 || limit == 0) return false;
  const std::uint64_t committed = sum(charged, reserved);
  if (limit < committed || limit - committed < amount) return false;
  reserved = sum(reserved, amount);
  return true;
}

void UsageAccumulator::settle_reservation(std::uint64_t amount, const zu::Usage& report) {
  std::lock_guard<std::mutex> lock(mutex);
  require_live_authority_locked();
  const auto charge = final_charge(report);
  add_report(report);
  if (!charge) return;
  reserved -= std::min(amount, reserved);
  charged = sum(charged, *charge);
}

void UsageAccumulator::release_reservation(std::uint64_t amount) {
  std::lock_guard<std::mutex> lock(mutex);
  require_live_authority_locked();
  reserved -= std::min(amount, reserved);
}

void UsageAccumulator::restore_charge(std::uint64_t amount) {
  std::lock_guard<std::mutex> lock(mutex);
  require_live_authority_locked();
  charged = sum(charged, amount);
}

void UsageAccumulator::restore_reservation(std::uint64_t amount) {
  std::lock_guard<std::mutex> lock(mutex);
  require_live_authority_locked();
  reserved = sum(reserved, amount);
}

bool UsageAccumulator::remember_provider_effect(std::string identity) {
  std::lock_guard<std::mutex> lock(mutex);
  require_live_authority_locked();
  return effects.insert(std::move(identity)).second;
}

void UsageAccumulator::seal_observation() {
  std::lock_guard<std::mutex> lock(mutex);
  observation_only = true;
}

zu::Usage UsageAccumulator::snapshot() const {
  std::lock_guard<std::mutex> lock(mutex);
  return totals;
}

std::uint64_t UsageAccumulator::total_tokens_wide() const {
  std::lock_guard<std::mutex> lock(mutex);
  return sum(charged, reserved);
}

UsageAccumulator::AuthoritySnapshot UsageAccumulator::authority_snapshot() const {
  std::lock_guard<std::mutex> lock(mutex);
  AuthoritySnapshot out;
  out.charged = charged;
  out.reserved = reserved;
  out.effects.assign(effects.begin(), effects.end());
  std::sort(out.effects.begin(), out.effects.end());
  out.usage = totals;
  out.has_report = has_report;
  return out;
}

void UsageAccumulator::restore_authority(AuthoritySnapshot snapshot) {
  std::lock_guard<std::mutex> lock(mutex);
  require_live_authority_locked();
  const bool pristine = !authority_restored && charged == 0 && reserved == 0 && !has_report && effects.empty();
  if (!pristine) throw std::logic_error("Spending authority may only restore into a pristine bank");
  std::unordered_set<std::string> restored;
  restored.reserve(snapshot.effects.size());
  for (auto& identity : snapshot.effects) {
    if (!restored.insert(std::move(identity)).second) {
      throw std::invalid_argument("Spending authority snapshot has duplicate effect identities");
    }
  }
  charged = snapshot.charged;
  reserved = snapshot.reserved;
  totals = std::move(snapshot.usage);
  has_report = snapshot.has_report;
  effects = std::move(restored);
  authority_restored = true;
}

}  // namespace vantrel
