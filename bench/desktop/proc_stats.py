"""What an application's processes cost, read from /proc: on-CPU time,
wake-ups and memory of a process and of every process it started.

CPU time is the sum over the process tree of each thread's run time from
/proc/PID/task/TID/schedstat (nanoseconds), plus the time of children the
tree has reaped (cutime + cstime of /proc/PID/stat). A thread that ends
inside the window takes its schedstat time with it, so the tick-based total
of /proc/PID/stat (utime + stime + cutime + cstime, which keeps ended
threads but is read in 10 ms ticks) is taken instead whenever it shows more.
"""
import os
from dataclasses import dataclass, field

TICK_NS = 1e9 / os.sysconf("SC_CLK_TCK")


def _read(path):
    with open(path) as f:
        return f.read()


def _stat_fields(pid):
    """The fields of /proc/PID/stat after the command name: [state, ppid, ...]."""
    return _read(f"/proc/{pid}/stat").rsplit(")", 1)[1].split()


def started_at(pid):
    """When the process started (clock ticks since boot), or None once it has gone."""
    try:
        return int(_stat_fields(pid)[19])
    except (OSError, IndexError, ValueError):
        return None


def process_tree(root):
    """`root` and every living process descended from it."""
    parents = {}
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            try:
                parents[int(entry)] = int(_stat_fields(entry)[1])
            except (OSError, IndexError, ValueError):  # gone while we looked
                pass
    tree = {root} if root in parents else set()
    grown = True
    while grown:
        grown = False
        for pid, parent in parents.items():
            if parent in tree and pid not in tree:
                tree.add(pid)
                grown = True
    return sorted(tree)


@dataclass
class Sample:
    ticks_ns: float = 0.0  # utime + stime + cutime + cstime of every process
    sched_ns: float = 0.0  # schedstat of every living thread, plus cutime + cstime
    processes: int = 0
    switches: dict = field(default_factory=dict)  # tid -> voluntary + nonvoluntary context switches


def sample(root):
    result = Sample()
    for pid in process_tree(root):
        try:
            fields = _stat_fields(pid)
            own, children = int(fields[11]) + int(fields[12]), int(fields[13]) + int(fields[14])
            threads_ns, switches = 0, {}
            for tid in os.listdir(f"/proc/{pid}/task"):
                threads_ns += int(_read(f"/proc/{pid}/task/{tid}/schedstat").split()[0])
                counts = dict(line.split(":", 1) for line in _read(f"/proc/{pid}/task/{tid}/status").splitlines())
                switches[int(tid)] = int(counts["voluntary_ctxt_switches"]) + int(counts["nonvoluntary_ctxt_switches"])
        except (OSError, IndexError, KeyError, ValueError):  # the process ended while we read it
            continue
        result.ticks_ns += (own + children) * TICK_NS
        result.sched_ns += threads_ns + children * TICK_NS
        result.processes += 1
        result.switches.update(switches)
    return result


def cpu_seconds(before, after):
    """On-CPU seconds of the tree between two samples."""
    by_ticks = after.ticks_ns - before.ticks_ns
    by_threads = after.sched_ns - before.sched_ns
    # Each process's tick total is truncated to a tick at both ends.
    slack = TICK_NS * max(before.processes, after.processes, 1)
    return (by_threads if by_threads >= by_ticks - slack else by_ticks) / 1e9


def wakeups(before, after):
    """Context switches between two samples, summed over the threads living at the end."""
    return sum(count - before.switches.get(tid, 0) for tid, count in after.switches.items())


def memory(root):
    """(VmRSS, PSS) in KiB summed over the tree, and how many processes it has."""
    rss = pss = count = 0
    for pid in process_tree(root):
        try:
            status = dict(line.split(":", 1) for line in _read(f"/proc/{pid}/status").splitlines())
            rollup = dict(line.split(":", 1) for line in _read(f"/proc/{pid}/smaps_rollup").splitlines()[1:])
            rss += int(status["VmRSS"].split()[0])
            pss += int(rollup["Pss"].split()[0])
            count += 1
        except (OSError, KeyError, ValueError):  # ended, or a kernel thread without memory
            continue
    return rss, pss, count
