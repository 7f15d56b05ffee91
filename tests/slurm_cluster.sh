# A Slurm cluster on this machine, for tests: sourced, it defines
#   slurm_start DIR [NODES]  starts munged, slurmctld and one slurmd for each
#                            of NODES nodes (n1, n2, ...; one by default),
#                            on ports it found free, with their files in DIR;
#                            waits until every node is idle and checks that
#                            the controller answering is its own; sets
#                            SLURM_CONF for the client commands
#   slurm_kill_node NODE     kills node NODE as a crash would: its slurmd,
#                            then the job steps and processes of its jobs
#   slurm_restart_node NODE  starts NODE's slurmd again, in the cluster's
#                            PID namespace, and waits until it is idle
#   slurm_stop               ends the cluster, job steps and all
# The daemons run in the foreground in a PID namespace of their own, whose
# first process dies with the test however the test ends, SIGKILL and
# ctest's timeout included; the kernel then ends everything in it. No trap
# is needed for that, so none can be skipped.
# Needs root, Debian's munge, slurmctld, slurmd and slurm-client, ss
# (iproute2), setpriv and unshare (util-linux).

slurm_supervisor=
slurm_dir=

# N ports in a row that nothing listens on, from a random start.
slurm_free_ports() {
    local n=$1 tries base p busy
    for tries in $(seq 50); do
        base=$((20000 + RANDOM % 40000))
        busy=
        for p in $(seq "$base" $((base + n - 1))); do
            [[ -n $(ss -Htlnu "sport = :$p") ]] && { busy=1; break; }
        done
        [[ -z $busy ]] && { seq "$base" $((base + n - 1)); return 0; }
    done
    return 1
}

slurm_start() {
    local dir=$1 nodes=${2:-1} host cpus ports name i
    host=$(hostname -s)
    slurm_dir=$dir
    # Eight CPUs whatever the machine has, so that a throttle of a few
    # tasks at once is Slurm's to keep, not the node's.
    cpus=8
    mapfile -t ports < <(slurm_free_ports $((nodes + 1))) ||
        { echo "slurm: no free ports for the cluster" >&2; return 1; }
    [[ ${#ports[@]} -eq $((nodes + 1)) ]] || { echo "slurm: no free ports for the cluster" >&2; return 1; }
    # A name of its own: the check below tells this cluster from any other.
    name=kvtest$$x$RANDOM
    mkdir -p "$dir/state" "$dir/spool" "$dir/munge"
    # munged runs as user munge, who must reach its files.
    chmod a+x "$dir" "$(dirname "$dir")"
    cat >"$dir/slurm.conf" <<CONF
ClusterName=$name
SlurmctldHost=$host(127.0.0.1)
SlurmUser=root
SlurmdUser=root
SlurmctldPort=${ports[0]}
AuthType=auth/munge
AuthInfo=socket=$dir/munge/munge.socket.2
StateSaveLocation=$dir/state
SlurmdSpoolDir=$dir/spool/%n
SlurmctldPidFile=$dir/slurmctld.pid
SlurmdPidFile=$dir/slurmd-%n.pid
SlurmctldLogFile=$dir/slurmctld.log
SlurmdLogFile=$dir/slurmd-%n.log
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
# A node that stops answering is down after 10 s, not Slurm's 300.
SlurmdTimeout=10
KillWait=5
OverTimeLimit=0
SlurmdParameters=config_overrides
NodeName=n[1-$nodes] NodeHostName=$host NodeAddr=127.0.0.1 Port=[${ports[1]}-${ports[nodes]}] CPUs=$cpus State=UNKNOWN
PartitionName=batch Nodes=n[1-$nodes] Default=YES MaxTime=INFINITE State=UP
CONF
    [[ $nodes -eq 1 ]] && sed -i "s/Port=\\[${ports[1]}-${ports[1]}\\]/Port=${ports[1]}/" "$dir/slurm.conf"
    export SLURM_CONF=$dir/slurm.conf
    chown munge:munge "$dir/munge"
    install -d -o munge -g munge /run/munge
    cat >"$dir/daemons.sh" <<DAEMONS
# The first process of the cluster's PID namespace: the daemons, each in
# the foreground, die with it.
runuser -u munge -- /usr/sbin/munged --foreground --socket="$dir/munge/munge.socket.2" \\
    --pid-file="$dir/munge/munged.pid" --log-file="$dir/munge/munged.log" \\
    --seed-file="$dir/munge/munged.seed" &
for i in \$(seq 50); do [ -S "$dir/munge/munge.socket.2" ] && break; sleep 0.1; done
/usr/sbin/slurmctld -D -f "$SLURM_CONF" &
for n in \$(seq $nodes); do /usr/sbin/slurmd -D -N "n\$n" -f "$SLURM_CONF" & done
wait
DAEMONS
    setpriv --pdeathsig KILL unshare --pid --fork --mount-proc --kill-child=SIGKILL \
        bash "$dir/daemons.sh" >"$dir/daemons.log" 2>&1 &
    slurm_supervisor=$!
    for i in $(seq 120); do
        [[ $(sinfo -h -N -o '%t' 2>/dev/null | grep -c '^idle$') -eq $nodes ]] && break
        kill -0 "$slurm_supervisor" 2>/dev/null || break
        sleep 0.5
    done
    if [[ $(scontrol show config 2>/dev/null | awk '$1 == "ClusterName" {print $3}') != "$name" ]]; then
        echo "slurm: the controller on port ${ports[0]} is not this test's own cluster $name" >&2
        slurm_stop
        return 1
    fi
    [[ $(sinfo -h -N -o '%t' 2>/dev/null | grep -c '^idle$') -eq $nodes ]] && return 0
    echo "slurm: the $nodes node(s) never became idle; see $dir" >&2
    slurm_stop
    return 1
}

# The first process of the cluster's PID namespace.
slurm_init() { cat "/proc/$slurm_supervisor/task/$slurm_supervisor/children" | cut -d' ' -f1; }

# The processes of the cluster's namespace that node NODE runs, one "KIND
# PID" a line: d for its slurmd, s for the steps of the jobs JOBID..., j
# for those jobs' processes: slurm_node_pids NODE JOBID...
slurm_node_pids() {
    local node=$1 ns p cmd id
    shift
    ns=$(readlink "/proc/$(slurm_init)/ns/pid")
    for p in /proc/[0-9]*; do
        [[ $(readlink "$p/ns/pid" 2>/dev/null) == "$ns" ]] || continue
        cmd=$(tr '\0' ' ' <"$p/cmdline" 2>/dev/null)
        [[ $cmd == "/usr/sbin/slurmd -D -N $node "* ]] && echo "d ${p#/proc/}"
        for id; do
            if [[ $cmd == "slurmstepd: [$id."* ]]; then
                echo "s ${p#/proc/}"
            elif tr '\0' '\n' <"$p/environ" 2>/dev/null | grep -qx "SLURM_JOB_ID=$id"; then
                echo "j ${p#/proc/}"
            fi
        done
    done
}

slurm_kill_node() {
    local node=$1 ids kind found round
    mapfile -t ids < <(squeue -h -w "$node" -o %A)
    # The slurmd first, so that no word of the steps' end reaches Slurm.
    for round in 1 2 3 4 5; do
        found=$(slurm_node_pids "$node" "${ids[@]}")
        [[ -n $found ]] || return 0
        for kind in d s j; do
            # shellcheck disable=SC2046
            kill -9 $(awk -v k=$kind '$1 == k {print $2}' <<<"$found") 2>/dev/null
        done
        sleep 0.2
    done
    echo "slurm: node $node would not die" >&2
    return 1
}

slurm_restart_node() {
    local node=$1 i
    # In a subshell: no job of the test's shell, whose end it would report.
    (nsenter --target "$(slurm_init)" --pid --mount -- \
        /usr/sbin/slurmd -D -N "$node" -f "$SLURM_CONF" >>"$slurm_dir/daemons.log" 2>&1 &)
    for i in $(seq 120); do
        [[ $(sinfo -h -n "$node" -o %t 2>/dev/null) == idle ]] && return 0
        sleep 0.5
    done
    echo "slurm: node $node did not come back; see $slurm_dir" >&2
    return 1
}

slurm_stop() {
    [[ -n $slurm_supervisor ]] || return 0
    kill -9 "$slurm_supervisor" 2>/dev/null
    wait "$slurm_supervisor" 2>/dev/null
    slurm_supervisor=
}
