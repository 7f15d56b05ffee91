// What kvsolver-batch asks of Slurm, through its client commands: the
// site's limits, submitting, the queue, a task's state, cancelling.
#ifndef KVSOLVER_BATCH_SLURM_COMMANDS_H_
#define KVSOLVER_BATCH_SLURM_COMMANDS_H_

#include <map>
#include <string>
#include <vector>

/// The largest number of tasks one array may have: MaxArraySize from
/// `scontrol show config`, or 1,001, Slurm's default, when it can't be read.
size_t MaxArraySize();

/// Runs `sbatch` with `arguments` (--parsable among them). Returns the job
/// id it printed, or an empty text with `*why` saying why not: sbatch's own
/// message when it refused.
std::string Submit(const std::vector<std::string>& arguments, std::string* why);

/// Fills `*states` with the Slurm state of each task of the jobs `ids`
/// that Slurm still queues or runs, by task ("JOBID_INDEX"). Returns false
/// when the queue could not be read.
bool QueuedTasks(const std::vector<std::string>& ids, std::map<std::string, std::string>* states);

/// The state Slurm gave task `id` ("TIMEOUT", "OUT_OF_MEMORY", ...), from
/// `scontrol show job`, else from `sacct`; empty when neither knows it.
std::string FinalState(const std::string& id);

/// Cancels the jobs `ids`. Returns false when scancel failed.
bool Cancel(const std::vector<std::string>& ids);

#endif  // KVSOLVER_BATCH_SLURM_COMMANDS_H_
