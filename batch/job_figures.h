// A job's state, times and costs as the report's page writes them, in one
// place for its timeline, charts, lists and table.
#ifndef KVSOLVER_BATCH_JOB_FIGURES_H_
#define KVSOLVER_BATCH_JOB_FIGURES_H_

#include <ctime>
#include <optional>
#include <string>

#include "batch/study.h"

/// The states a job is shown in, in the order the page counts them.
constexpr const char* kShownStates[] = {"finished", "reused",  "failed",  "killed", "timed out",
                                        "lost",     "not run", "running", "waiting"};

/// The state job `i` is shown in: its result's once it ended; before,
/// "running" once an attempt began and "waiting" until then.
std::string ShownState(const Study& study, size_t i);

/// The page's class of a shown state: "s-timed-out".
std::string StateClass(const std::string& state);

/// The instant `text`, as results write it ("2026-01-31T23:59:59Z"), in
/// seconds since the epoch; nothing for any other text.
std::optional<std::time_t> InstantSeconds(const std::string& text);

/// `seconds` since the epoch as results write an instant.
std::string InstantText(std::time_t seconds);

/// The page's own spelling of an instant: "2026-01-31 23:59:59 UTC".
std::string ShownInstant(const std::string& instant);

/// `value` with `digits` decimals.
std::string Fixed(double value, int digits);

/// A length of time that reads at a glance: "0.42 s", "12.5 s",
/// "3 min 20 s", "2 h 05 min".
std::string DurationText(double seconds);

/// Peak memory as a person reads it: "812 KiB", "203.5 MiB", "1.25 GiB";
/// empty when it is not known.
std::string MemoryText(std::optional<long long> kib);

/// The CPU seconds of the last attempt, user and system, "1.25"; empty
/// when the record has none.
std::string CpuText(const Row& result);

#endif  // KVSOLVER_BATCH_JOB_FIGURES_H_
