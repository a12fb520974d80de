// A thread-safe bank for the token usage and spending of one run of provider calls.
//
// A provider loop reserves tokens before each call and settles or releases them after
// it; the bank folds every usage report into one aggregate, keeps charged plus reserved
// tokens within the caller's limit, and remembers which provider effects it was told of.
//
//   vantrel::UsageAccumulator bank;
//   if (!bank.try_reserve(4096, limit)) { /* over budget: do not call */ }
//   zu::Usage report = call_provider();
//   bank.settle_reservation(4096, report);  // charges the report's final count
//
// A bank can export its spending authority (`authority_snapshot`) and a fresh bank can
// take it over once (`restore_authority`). A bank that replays a recorded run is sealed
// with `seal_observation`; from then on every member that would change it throws
// std::logic_error "Recorded replay bank is observation-only", and the reading members
// keep working.
//
// Thread safety: every member may be called from any number of threads at once. Each
// locks the bank's mutex for its whole duration, so every operation is atomic with
// respect to the others. The static members touch no shared state.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "vantrel/mcp_types_export.hpp"
#include "zu/usage.hpp"

namespace vantrel {

class VANTREL_MCP_TYPES_EXPORT UsageAccumulator {
 public:
  // AuthoritySnapshot is a bank's spending authority as a plain value: what it charged
  // and reserved, the effect identities it knows (sorted ascending, byte-wise), its
  // aggregate report, and whether it had folded any report.
  struct AuthoritySnapshot {
    std::uint64_t charged = 0;
    std::uint64_t reserved = 0;
    std::vector<std::string> effects{};
    zu::Usage usage{};
    bool has_report = false;

    friend bool operator==(const AuthoritySnapshot&, const AuthoritySnapshot&) = default;
  };

  // UsageAccumulator() is a pristine bank: nothing charged, reserved or reported.
  UsageAccumulator() = default;
  UsageAccumulator(const UsageAccumulator&) = delete;
  UsageAccumulator& operator=(const UsageAccumulator&) = delete;

  // add folds `report` into the aggregate and, when the report has a final charge (see
  // conservative_final_charge), adds that charge to the charged tokens.
  void add(const zu::Usage& report);
  // observe folds `report` into the aggregate and charges nothing.
  void observe(const zu::Usage& report);

  // try_reserve reserves `amount` tokens and returns true when charged plus reserved
  // tokens stay within `limit`. It returns false, changing nothing, when `amount` or
  // `limit` is 0 or the reservation does not fit.
  [[nodiscard]] bool try_reserve(std::uint64_t amount, std::uint64_t limit);
  // settle_reservation folds `report` in. When the report has a final charge, it drops
  // `amount` from the reserved tokens (never below zero) and adds the charge to the
  // charged tokens; otherwise the reservation stays in place for a later settle or
  // release.
  void settle_reservation(std::uint64_t amount, const zu::Usage& report);
  // release_reservation drops `amount` from the reserved tokens, never below zero.
  void release_reservation(std::uint64_t amount);

  // restore_charge and restore_reservation add `amount` to the charged or reserved
  // tokens, saturating at 2^64 - 1; they rebuild a bank's state from a log.
  void restore_charge(std::uint64_t amount);
  void restore_reservation(std::uint64_t amount);

  // remember_provider_effect records the identity of a provider effect (a created
  // resource, a sent message) and returns true when it was not known before.
  [[nodiscard]] bool remember_provider_effect(std::string identity);

  // seal_observation makes the bank observation-only, for good. Sealing twice changes
  // nothing.
  void seal_observation();

  // snapshot returns a copy of the aggregate report.
  [[nodiscard]] zu::Usage snapshot() const;
  // total_tokens_wide returns charged plus reserved tokens, saturating at 2^64 - 1.
  [[nodiscard]] std::uint64_t total_tokens_wide() const;
  // authority_snapshot returns the bank's spending authority.
  [[nodiscard]] AuthoritySnapshot authority_snapshot() const;
  // restore_authority takes over `snapshot` into this bank. It throws std::logic_error
  // "Spending authority may only restore into a pristine bank" unless the bank has never
  // been restored, charged, reserved, reported to or told of an effect, and
  // std::invalid_argument "Spending authority snapshot has duplicate effect identities"
  // when an identity repeats; in both cases the bank is unchanged. A bank is therefore
  // restored at most once.
  void restore_authority(AuthoritySnapshot snapshot);

  // conservative_final_charge returns the tokens that `report` lets a bank charge, or
  // nothing. A report charges only when it is final, did not overflow, and has both
  // input_total and output_total; the charge is the largest of their sum, total and
  // provider_reported_total, and there is none when that sum overflows or a reported
  // total is smaller than it (the counts contradict each other).
  [[nodiscard]] static std::optional<std::uint64_t> conservative_final_charge(const zu::Usage& report);

 private:
  // sum returns a + b, or 2^64 - 1 when that does not fit.
  static std::uint64_t sum(std::uint64_t a, std::uint64_t b);
  static std::optional<std::uint64_t> final_charge(const zu::Usage& report);
  // add_report folds `report` into `totals`. It either completes or, when memory runs
  // out, leaves `totals` as it was. REQUIRES: mutex held.
  void add_report(const zu::Usage& report);
  // require_live_authority_locked throws std::logic_error when the bank is sealed.
  // REQUIRES: mutex held.
  void require_live_authority_locked() const;

  // mutex guards every member below.
  mutable std::mutex mutex;
  // totals is the aggregate of every report folded in.
  zu::Usage totals;
  // has_report is set once the first report has been folded in.
  bool has_report = false;
  // authority_restored is set once restore_authority has succeeded.
  bool authority_restored = false;
  // observation_only is set by seal_observation.
  bool observation_only = false;
  // charged counts the tokens charged, reserved those reserved for calls in flight.
  std::uint64_t charged = 0;
  std::uint64_t reserved = 0;
  // effects holds the provider effect identities the bank was told of.
  std::unordered_set<std::string> effects;
};

}  // namespace vantrel
