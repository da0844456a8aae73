"""The benchmark's figures side by side: a table on stdout, the whole run as
JSON, and a PNG chart (matplotlib)."""
import json
import math
import os

APPS = ("Brindlemux", "CopyQ")
SIZES = ("100 B text", "1 MiB text", "1920x1080 PNG", "10 MiB text")


def percentile(values, q):
    """Linear interpolation between the closest ranks, as numpy's default does."""
    ordered = sorted(values)
    if not ordered:
        return None
    position = (len(ordered) - 1) * q / 100
    low, high = math.floor(position), math.ceil(position)
    return ordered[low] + (ordered[high] - ordered[low]) * (position - low)


def _get(results, app, *keys):
    value = results.get(app, {})
    for key in keys:
        if not isinstance(value, dict) or key not in value:
            return None
        value = value[key]
    return value


class Figure:
    """One row of the table: how to read it from an application's results, and the issue's target if it has one."""

    def __init__(self, label, keys, target=None, compare="ratio"):
        self.label, self.keys, self.target, self.compare = label, keys, target, compare

    def values(self, results):
        return [_get(results, app, *self.keys) for app in APPS]

    def judge(self, results):
        """(ratio, target text, verdict) for the row."""
        ours, theirs = self.values(results)
        numbers = isinstance(ours, (int, float)) and isinstance(theirs, (int, float))
        ratio = ours / theirs if numbers and theirs else None
        if self.target is None:
            return ratio, "", ""
        if self.compare == "ratio":
            text = f"B/C <= {self.target:g}"
            verdict = None if ratio is None else ratio <= self.target
        elif self.compare == "at most":
            text = f"B <= {self.target:g}"
            verdict = None if ours is None else ours <= self.target
        else:  # "all": every repetition reaches the target
            text = f"B = {self.target} each time"
            verdict = None if not ours else all(value == self.target for value in ours)
        return ratio, text, {True: "met", False: "MISSED", None: "n/a"}[verdict]


def figures(memory_captures):
    rows = []
    for size in SIZES:
        rows.append(Figure(f"capture p50, {size} (ms)", ("capture", size, "p50_ms"), 0.5))
        rows.append(Figure(f"capture p90, {size} (ms)", ("capture", size, "p90_ms")))
    for size in SIZES:
        rows.append(Figure(f"CPU per capture, {size} (ms)", ("capture", size, "cpu_ms_per_capture"), 0.2))
    rows += [
        Figure("burst: entries of 20 copies 25 ms apart", ("burst", "kept"), 20, "all"),
        Figure("idle CPU per 60 s (s)", ("idle", "cpu_s_per_60s"), 0.03, "at most"),
        Figure("idle wake-ups per 60 s", ("idle", "wakeups_per_60s")),
        Figure("RSS fresh (MiB, VmRSS summed)", ("memory", "fresh", "rss_mib"), 0.5),
        Figure("PSS fresh (MiB)", ("memory", "fresh", "pss_mib")),
        Figure(f"RSS after {memory_captures} x 1 MiB (MiB)", ("memory", "after", "rss_mib")),
        Figure(f"PSS after {memory_captures} x 1 MiB (MiB)", ("memory", "after", "pss_mib")),
        Figure("restore p50, text (ms)", ("restore", "text", "p50_ms")),
        Figure("restore p50, ~4.8 MB PNG (ms)", ("restore", "image", "p50_ms")),
    ]
    return rows


def _cell(value):
    if value is None:
        return "-"
    if isinstance(value, list):
        return " ".join(_cell(item) for item in value)
    if value == 0:
        return "0"
    if isinstance(value, float):
        digits = 4 if abs(value) < 0.1 else 3 if abs(value) < 1 else 1 if abs(value) < 100 else 0
        return f"{value:.{digits}f}"
    return str(value)


def table(results, memory_captures):
    rows = [("figure", *APPS, "B/C", "target", "")]
    summary = []
    for figure in figures(memory_captures):
        ratio, target, verdict = figure.judge(results)
        values = figure.values(results)
        rows.append((figure.label, *map(_cell, values), _cell(ratio), target, verdict))
        summary.append({"figure": figure.label, "values": dict(zip(APPS, values)), "ratio": ratio,
                        "target": target or None, "verdict": verdict or None})
    widths = [max(len(row[i]) for row in rows) for i in range(len(rows[0]))]
    lines = ["  ".join(cell.ljust(width) if i == 0 else cell.rjust(width) for i, (cell, width) in
                       enumerate(zip(row, widths))).rstrip() for row in rows]
    lines.insert(1, "-" * len(lines[0]))
    return "\n".join(lines), summary


def write_json(path, document):
    with open(path, "w") as f:
        json.dump(document, f, indent=2)


def chart(path, results, memory_captures):
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    colours = {"Brindlemux": "#2a7ab9", "CopyQ": "#d9822b"}
    fig, axes = plt.subplots(2, 4, figsize=(20, 9))

    def bars(ax, title, labels, keys_of, log=False, ylabel=""):
        width = 0.38
        for offset, app in zip((-width / 2, width / 2), APPS):
            values = [_get(results, app, *keys_of(label)) for label in labels]
            heights = [value if isinstance(value, (int, float)) else 0 for value in values]
            drawn = ax.bar([i + offset for i in range(len(labels))], heights, width, label=app, color=colours[app])
            ax.bar_label(drawn, labels=[_cell(value) for value in values], fontsize=7)
        ax.set_xticks(range(len(labels)), labels, fontsize=8)
        ax.set_title(title, fontsize=10)
        ax.set_ylabel(ylabel, fontsize=8)
        if log:
            ax.set_yscale("log")
        ax.legend(fontsize=8)

    bars(axes[0][0], "capture latency p50", SIZES, lambda s: ("capture", s, "p50_ms"), True, "ms (log)")
    bars(axes[0][1], "capture latency p90", SIZES, lambda s: ("capture", s, "p90_ms"), True, "ms (log)")
    bars(axes[0][2], "CPU per capture (net of idle)", SIZES, lambda s: ("capture", s, "cpu_ms_per_capture"), True,
         "ms (log)")
    bars(axes[0][3], "restore latency p50", ("text", "image"), lambda k: ("restore", k, "p50_ms"), False, "ms")
    after = f"after {memory_captures} x 1 MiB"
    memory_keys = {"RSS fresh": ("fresh", "rss_mib"), f"RSS {after}": ("after", "rss_mib"),
                   "PSS fresh": ("fresh", "pss_mib"), f"PSS {after}": ("after", "pss_mib")}
    bars(axes[1][0], "memory, all processes summed", tuple(memory_keys), lambda k: ("memory", *memory_keys[k]),
         False, "MiB")
    bars(axes[1][1], "idle CPU per 60 s (dashed: the target)", ("CPU",), lambda k: ("idle", "cpu_s_per_60s"), False,
         "s")
    axes[1][1].axhline(0.03, color="grey", linewidth=0.8, linestyle="--")
    bars(axes[1][2], "idle wake-ups per 60 s", ("context switches",), lambda k: ("idle", "wakeups_per_60s"), False,
         "wake-ups")
    bars(axes[1][3], "burst: entries of 20 copies 25 ms apart (lowest)", ("kept",),
         lambda k: ("burst", "lowest"), False, "entries")
    axes[1][3].axhline(20, color="grey", linewidth=0.8, linestyle="--")
    fig.suptitle("Brindlemux beside CopyQ, one run on one machine", fontsize=12)
    fig.tight_layout()
    fig.savefig(path, dpi=90)
    plt.close(fig)
    return os.path.abspath(path)
