"""The module's calls inside real programs: threads, a Python sys.stdout,
Ctrl+C. Each call's files, lines and warnings are its own, an exception raised
inside a call or by its lines is raised when it returns, and Ctrl+C stops a
long call with nothing on disk changed."""

import os
import sys

import numpy as np
import pytest

import mapplot
from conftest import run_python

# Two threads, each making 100 PostScript maps into a folder of its own, the
# flat ones warning "Array is flat!" (every time: "always"). "python":
# sys.stdout is a Python object that lets other threads run while it writes,
# as a notebook's does; "real": the interpreter's own standard output.
THREADS = r"""
import os, sys, threading, time, warnings, numpy as np, mapplot
warnings.simplefilter("always", mapplot.MapWarning)
x = np.linspace(0, 1, 5, dtype=np.float32)
y = np.linspace(0, 1, 4, dtype=np.float32)
zs = [np.arange(20, dtype=np.float32), np.ones(20, dtype=np.float32)]

def calls(folder):
    os.mkdir(folder)
    for k in range(100):
        mapplot.ps_map(x, y, zs[k % 2], file=f"{folder}/{k}.ps")

class Notebook:
    def __init__(self):
        self.lines = []
    def write(self, text):
        time.sleep(0)  # other threads run meanwhile
        self.lines.append((threading.current_thread().name, text))
        return len(text)
    def flush(self):
        pass

calls("reference")
if sys.argv[1] == "python":
    sys.stdout = notebook = Notebook()
threads = [threading.Thread(target=calls, args=(name,), name=name) for name in "ab"]
for t in threads:
    t.start()
for t in threads:
    t.join()
if sys.argv[1] == "python":
    for thread, text in notebook.lines:
        print(thread, repr(text), file=sys.__stdout__)
"""


def postscript(path):
    """A PostScript file without its creation date."""
    return b"".join(line for line in path.read_bytes().splitlines(keepends=True)
                    if not line.startswith(b"%%CreationDate"))


@pytest.mark.parametrize("stdout", ["real", "python"])
def test_calls_of_two_threads_keep_their_files_lines_and_warnings(tmp_path, stdout):
    result = run_python(THREADS.replace("sys.argv[1]", repr(stdout)), cwd=tmp_path)
    assert result.returncode == 0, result.stderr
    for folder in "ab":
        assert sorted(os.listdir(tmp_path / folder)) == sorted(f"{k}.ps" for k in range(100))
        for k in range(100):
            assert postscript(tmp_path / folder / f"{k}.ps") == \
                postscript(tmp_path / "reference" / f"{k}.ps"), (folder, k)
    reference = [f"  Output in reference/{k}.ps" for k in range(100)]
    lines = result.stdout.splitlines()
    assert lines[:100] == reference
    if stdout == "real":
        # Each thread's lines once, whole, in its own order.
        for folder in "ab":
            own = [line for line in lines[100:] if f" {folder}/" in line]
            assert own == [line.replace("reference/", f"{folder}/") for line in reference]
        assert len(lines) == 300
    else:
        # Every record written by the thread whose call made it, naming its own files.
        records = [line.split(" ", 1) for line in lines[100:]]
        for folder in "ab":
            own = [text for thread, text in records if thread == folder]
            expected = [repr(line.replace("reference/", f"{folder}/") + "\n") for line in reference]
            assert own == expected
    # Each flat map's warning, none lost or doubled.
    assert result.stderr.count("MapWarning: Array is flat!\n") == 150


def test_a_call_inside_a_program_with_threads_under_run_program(tmp_path):
    """main's calls and another thread's share the module while the windows
    are shown; the runtime's hooks change hands with no call under way."""
    result = run_python(r"""
import os, sys, threading, numpy as np, mapplot
x = np.array([0., 1., 2.]); y = np.array([0., 1.]); z = np.array([0., 1., 2., 0., 1., 2.])
class Notebook:
    def write(self, text):
        return len(text)
    def flush(self):
        pass
sys.stdout = Notebook()
def background():
    for k in range(50):
        mapplot.dat_map(x, y, z, file=f"b{k}.dat")
def main():
    helper = threading.Thread(target=background)
    helper.start()
    for k in range(50):
        mapplot.scr_map(x, y, z * (k + 1), own_window=True, continuation=k > 0)
        mapplot.dat_map(x, y, z, file=f"m{k}.dat")
    helper.join()
    return 3
code = mapplot.run_program("threads", main)
mapplot.dat_map(x, y, z, file="after.dat")
print(code, len(os.listdir()), file=sys.__stdout__)
""", cwd=tmp_path)
    assert result.returncode == 0, result.stderr
    assert result.stdout == "3 101\n"


class RaisingStdout:
    """A sys.stdout whose writes raise `error` (Ctrl+C arriving while a
    notebook writes raises KeyboardInterrupt there)."""

    def __init__(self, error):
        self.error = error

    def write(self, text):
        raise self.error

    def flush(self):
        pass


def test_what_sys_stdout_raises_is_raised_when_the_call_returns(data, in_tmp, capfd,
                                                                  monkeypatch):
    x, y, z = data["x4"], data["y4"], data["z4"]
    for error in (KeyboardInterrupt, ValueError):
        monkeypatch.setattr(sys, "stdout", RaisingStdout(error))
        # The records go on when the work is done: the file is complete, then
        # the exception.
        with pytest.raises(error):
            mapplot.dat_map(x, y, z)
        assert (in_tmp / "Map.dat").read_bytes().endswith(b" Representation of z=z(x,y)\r\n")
        # The warning before the line is given, the file complete.
        with pytest.warns(mapplot.MapWarning, match="^Array is flat!$"):
            with pytest.raises(error):
                mapplot.ps_map(x, y, np.ones_like(z), file="flat.ps")
        assert (in_tmp / "flat.ps").read_bytes().endswith(b"%%EOF\n")
        assert sorted(os.listdir()) == ["Map.dat", "flat.ps"]
        os.remove("Map.dat")
        os.remove("flat.ps")
    # The records were not lost: they went to standard output.
    assert capfd.readouterr().out == "  Output in Map.dat\n  Output in flat.ps\n" * 2

    # Without a usable sys.stdout the records go to standard output, and no error.
    for stdout in (None, open(os.devnull, "w")):
        if stdout is not None:
            stdout.close()
        monkeypatch.setattr(sys, "stdout", stdout)
        mapplot.dat_map(x, y, z)
    assert capfd.readouterr().out == "  Output in Map.dat\n" * 2


def test_a_call_made_by_python_code_inside_a_call_works(data, in_tmp, monkeypatch):
    x, y, z = data["x4"], data["y4"], data["z4"]

    class Echo:
        """A sys.stdout that writes a data file of the first line."""
        echoed = False

        def write(self, text):
            if not self.echoed:
                self.echoed = True
                mapplot.dat_map(x, y, z, file="echo.dat")
            return len(text)

        def flush(self):
            pass
    with monkeypatch.context() as patched:
        patched.setattr(sys, "stdout", Echo())
        mapplot.dat_map(x, y, z)
    assert sorted(os.listdir()) == ["Map.dat", "echo.dat"]
    assert (in_tmp / "echo.dat").read_bytes() == (in_tmp / "Map.dat").read_bytes()


# Ctrl+C during a long call. A timer ticks until its handler runs inside the
# call (the profiler sees a routine's call under way): there the handler
# calls the module again, and sends SIGINT. The nested calls run, but for a
# PostScript map inside a PostScript map and a screen map inside a screen
# map; the call must stop with KeyboardInterrupt before it has finished: the
# earlier file unchanged, no temporary file left.
CTRL_C = r"""
import os, signal, sys, numpy as np, mapplot
n = 3000
x = y = np.linspace(1, 2, n, dtype=np.float32)
z = np.add.outer(x, y)
small = (np.array([0., 1.]), np.array([0., 1.]), np.array([0., 1., 2., 3.]))
routines = (mapplot.dat_map, mapplot.ps_map, mapplot.render)
under_way = []
ran_inside = []

def profile(frame, event, arg):
    if event == "c_call" and any(arg is r for r in routines):
        under_way.append(arg)
    elif event in ("c_return", "c_exception") and under_way and arg is under_way[-1]:
        under_way.pop()

def result_of(call):
    try:
        return type(call()).__name__
    except Exception as e:
        return type(e).__name__

def tick(signum, frame):
    # Between calls, or in the profile function just before or after one
    # (the routine not yet or no longer running): the next tick.
    if not under_way or frame.f_code is profile.__code__:
        return
    signal.setitimer(signal.ITIMER_REAL, 0)
    ran_inside.extend(result_of(nested) for nested in (
        lambda: mapplot.read_map("no such file"),
        lambda: mapplot.ps_map(*small, device="null"),
        lambda: mapplot.render(*small)))
    os.kill(os.getpid(), signal.SIGINT)

sys.setprofile(profile)
signal.signal(signal.SIGALRM, tick)
calls = [("Map.dat", lambda: mapplot.dat_map(x, y, z)),
         ("Map.dat", lambda: mapplot.dat_map(x, y, z.ravel(order="F"), log=True)),
         ("Map.ps", lambda: mapplot.ps_map(x, y, z)),
         ("map.png", lambda: mapplot.ps_map(x, y, z, file="map.png", device="png")),
         ("render", lambda: mapplot.render(x.astype(float), y.astype(float), z.astype(float))),
         ("render", lambda: mapplot.render(x, y, z, log=True))]
for file, call in calls:
    open(file, "wb").write(b"earlier")
    ran_inside.clear()
    signal.setitimer(signal.ITIMER_REAL, 0.02, 0.02)
    try:
        call()
        outcome = "finished"
    except KeyboardInterrupt:
        outcome = "KeyboardInterrupt"
    signal.setitimer(signal.ITIMER_REAL, 0)
    print(outcome, ran_inside, sorted(os.listdir()), open(file, "rb").read())
    os.remove(file)
"""


def test_ctrl_c_stops_a_long_call_with_nothing_changed(tmp_path):
    result = run_python(CTRL_C, cwd=tmp_path)
    assert result.returncode == 0, result.stderr
    inside = {"dat_map": "['FileNotFoundError', 'NoneType', 'Picture']",
              "ps_map": "['FileNotFoundError', 'RuntimeError', 'Picture']",
              "render": "['FileNotFoundError', 'NoneType', 'RuntimeError']"}
    assert result.stdout.splitlines() == [
        f"KeyboardInterrupt {inside[call]} ['{file}'] b'earlier'"
        for call, file in (("dat_map", "Map.dat"), ("dat_map", "Map.dat"), ("ps_map", "Map.ps"),
                           ("ps_map", "map.png"), ("render", "render"), ("render", "render"))]
