"""Calls of several threads at once, their routines' work without the
interpreter lock: each thread's files are those of the same call made alone,
and a fatal error in one thread leaves the files of the others whole."""

import os
import threading

import numpy as np
import pytest

import mapplot

THREADS, ROUNDS = 4, 3
# (routine, options, the file's ending): a data file, PostScript and PNG maps.
CALLS = [(mapplot.dat_map, {}, "dat"),
         (mapplot.ps_map, dict(device="ps"), "ps"),
         (mapplot.ps_map, dict(device="png"), "png")]


def grid(k):
    """Thread k's map, 150 x 100 values above zero, as the matrix z[i, j]."""
    x = np.linspace(0, 1 + k, 150, dtype=np.float32)
    y = np.linspace(-1, 1, 100, dtype=np.float32)
    return x, y, np.sin(3 * x)[:, None] * np.cos(2 * y)[None, :] + np.float32(2 + k)


def contents(name):
    """A file's bytes, without the creation date of a PostScript file."""
    lines = open(name, "rb").read().splitlines(keepends=True)
    return b"".join(line for line in lines if not line.startswith(b"%%CreationDate"))


def in_threads(work):
    """work(k) on THREADS threads started together; the exceptions they raised."""
    start = threading.Barrier(THREADS)
    raised = []

    def run(k):
        start.wait()
        try:
            work(k)
        except BaseException as e:  # noqa: B036 (any of them fails the test)
            raised.append(e)
    threads = [threading.Thread(target=run, args=(k,)) for k in range(THREADS)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    return raised


@pytest.mark.parametrize("log", [None, True])
def test_threads_write_the_files_of_the_same_calls_made_alone(in_tmp, capfd, log):
    for k in range(THREADS):
        for call, options, ending in CALLS:
            call(*grid(k), log=log, file=f"alone{k}.{ending}", **options)

    def work(k):
        for r in range(ROUNDS):
            for call, options, ending in CALLS:
                call(*grid(k), log=log, file=f"t{k}_{r}.{ending}", **options)
    assert in_threads(work) == []
    made = [f"t{k}_{r}.{ending}" for k in range(THREADS) for r in range(ROUNDS)
            for _, _, ending in CALLS]
    # Nothing left behind: no temporary file, no file of another's name.
    assert sorted(os.listdir()) == sorted(made + [f"alone{k}.{ending}" for k in range(THREADS)
                                                  for _, _, ending in CALLS])
    for name in made:
        assert contents(name) == contents("alone" + name[1] + name[name.index("."):]), name
    out, err = capfd.readouterr()
    assert sorted(out.splitlines()) == sorted(f"  Output in {name}" for name in
                                              made + [f"alone{k}.{e}" for k in range(THREADS)
                                                      for _, _, e in CALLS])
    assert err == ""


def test_a_fatal_error_in_one_thread_leaves_the_others_files_whole(in_tmp, capfd):
    x, y, z = grid(0)
    zero = z.copy()
    zero[75, 50] = 0
    for call, options, ending in CALLS:
        call(x, y, z, log=True, file=f"alone.{ending}", **options)

    def work(k):
        for r in range(ROUNDS):
            for call, options, ending in CALLS:
                if k == 0:
                    with pytest.raises(mapplot.FatalError, match="^log10: SING error$"):
                        call(x, y, zero, log=True, file=f"fatal.{ending}", **options)
                else:
                    call(x, y, z, log=True, file=f"t{k}_{r}.{ending}", **options)
    assert in_threads(work) == []
    made = [f"t{k}_{r}.{ending}" for k in range(1, THREADS) for r in range(ROUNDS)
            for _, _, ending in CALLS]
    assert sorted(os.listdir()) == sorted(made + [f"alone.{ending}" for _, _, ending in CALLS])
    for name in made:
        assert contents(name) == contents("alone" + name[name.index("."):]), name
    out, err = capfd.readouterr()
    assert len(out.splitlines()) == len(made) + len(CALLS)
    assert err == ""  # each thread's exception is its report


def test_quiet_silences_the_console_lines_of_its_thread_only(tmp_path, monkeypatch, capfd):
    """Each step: what it does, then whether a call of this thread and one of
    another thread print their lines. Warnings are raised all the while."""
    monkeypatch.chdir(tmp_path)
    x = np.array([0.0, 1.0])
    flat = np.ones(4)
    exits = []

    def enter(on=True):
        manager = mapplot.quiet(on) if on is not None else mapplot.quiet()
        manager.__enter__()
        exits.append(manager)

    def leave():
        exits.pop().__exit__(None, None, None)

    steps = [
        ("at first", lambda: None, True),
        ("with quiet()", lambda: enter(None), False),
        ("with quiet(False) inside", lambda: enter(False), True),
        ("inner block left", leave, False),
        ("with quiet(True) inside", lambda: enter(True), False),
        ("inner block left", leave, False),
        ("outer block left", leave, True),
        ("quiet(True)", lambda: mapplot.quiet(True), False),
        ("quiet(True) again", lambda: mapplot.quiet(True), False),
        ("quiet(False)", lambda: mapplot.quiet(False), True),
        ("quiet(True) by numpy", lambda: mapplot.quiet(np.bool_(True)), False),
        ("quiet('') refused", lambda: pytest.raises(TypeError, mapplot.quiet, ""), False),
        ("quiet(None) refused", lambda: pytest.raises(TypeError, mapplot.quiet, None), False),
        ("quiet(on=False)", lambda: mapplot.quiet(on=False), True),
    ]
    for step, do, shown in steps:
        do()
        capfd.readouterr()
        mapplot.dat_map(x, x, np.arange(4.0), file="here.dat")
        with pytest.warns(mapplot.MapWarning, match="^Array is flat!$"):
            mapplot.ps_map(x, x, flat, file="here.png", device="png")
        out = capfd.readouterr().out
        assert out == ("  Output in here.dat\n  Output in here.png\n" if shown else ""), step
        other = threading.Thread(target=mapplot.dat_map, args=(x, x, np.arange(4.0)),
                                 kwargs=dict(file="there.dat"))
        other.start()
        other.join()
        assert capfd.readouterr().out == "  Output in there.dat\n", step
    assert (tmp_path / "here.dat").exists() and (tmp_path / "here.png").exists()
    # A block left by an exception gives the setting back too.
    with pytest.raises(mapplot.FatalError):
        with mapplot.quiet():
            mapplot.dat_map(x, x, np.array([1.0, 0.0, 2.0, 3.0]), log=True)
    mapplot.dat_map(x, x, np.arange(4.0), file="after.dat")
    assert capfd.readouterr().out == "  Output in after.dat\n"
