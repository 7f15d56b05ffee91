# A one-node Slurm cluster on this machine, for tests: sourced, it defines
#   slurm_start DIR   starts munged, slurmctld and slurmd with state, spool,
#                     pid and log files in DIR, and waits until the node is
#                     idle; sets SLURM_CONF for the client commands
#   slurm_stop        stops what slurm_start started, by its process ids
# Needs root, and Debian's munge, slurmctld, slurmd and slurm-client.

slurm_pids=()

slurm_start() {
    local dir=$1 host cpus i
    host=$(hostname -s)
    # Eight CPUs whatever the machine has, so that a throttle of a few
    # tasks at once is Slurm's to keep, not the node's.
    cpus=8
    mkdir -p "$dir/state" "$dir/spool" "$dir/munge"
    # munged runs as user munge, who must reach its files.
    chmod a+x "$dir" "$(dirname "$dir")"
    cat >"$dir/slurm.conf" <<CONF
ClusterName=kvsolvertest
SlurmctldHost=$host
SlurmUser=root
SlurmdUser=root
SlurmctldPort=16817
SlurmdPort=16818
AuthType=auth/munge
AuthInfo=socket=$dir/munge/munge.socket.2
StateSaveLocation=$dir/state
SlurmdSpoolDir=$dir/spool
SlurmctldPidFile=$dir/slurmctld.pid
SlurmdPidFile=$dir/slurmd.pid
SlurmctldLogFile=$dir/slurmctld.log
SlurmdLogFile=$dir/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
SchedulerType=sched/backfill
SchedulerParameters=batch_sched_delay=0,sched_min_interval=0
SelectType=select/cons_tres
SelectTypeParameters=CR_Core
ReturnToService=2
MpiDefault=none
MaxArraySize=100
KillWait=5
OverTimeLimit=0
SlurmdParameters=config_overrides
NodeName=$host CPUs=$cpus State=UNKNOWN
PartitionName=batch Nodes=$host Default=YES MaxTime=INFINITE State=UP
CONF
    export SLURM_CONF=$dir/slurm.conf
    chown munge:munge "$dir/munge"
    install -d -o munge -g munge /run/munge
    runuser -u munge -- /usr/sbin/munged --socket="$dir/munge/munge.socket.2" \
        --pid-file="$dir/munge/munged.pid" --log-file="$dir/munge/munged.log" \
        --seed-file="$dir/munge/munged.seed" || return 1
    slurm_pids+=("$(cat "$dir/munge/munged.pid")")
    /usr/sbin/slurmctld -f "$SLURM_CONF" || return 1
    for i in $(seq 50); do [[ -s $dir/slurmctld.pid ]] && break; sleep 0.1; done
    slurm_pids+=("$(cat "$dir/slurmctld.pid")")
    /usr/sbin/slurmd -f "$SLURM_CONF" || return 1
    for i in $(seq 50); do [[ -s $dir/slurmd.pid ]] && break; sleep 0.1; done
    slurm_pids+=("$(cat "$dir/slurmd.pid")")
    for i in $(seq 120); do
        [[ $(sinfo -h -N -o '%t' 2>/dev/null) == idle ]] && return 0
        sleep 0.5
    done
    echo "slurm: the node never became idle" >&2
    return 1
}

slurm_stop() {
    local pid i
    for pid in "${slurm_pids[@]}"; do kill "$pid" 2>/dev/null; done
    for pid in "${slurm_pids[@]}"; do
        for i in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
        kill -9 "$pid" 2>/dev/null
    done
    slurm_pids=()
}
