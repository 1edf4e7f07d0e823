"""The type stubs (mapplot-stubs/__init__.pyi) against the module: the same
routines, arguments and keywords, and mypy accepts the README's examples and
python/examples/ with them while it refuses calls the module refuses."""

import ast
import inspect
import os
import pathlib
import re
import shutil
import subprocess
import sys

import numpy as np
import pytest

import mapplot

ROOT = pathlib.Path(__file__).resolve().parents[2]
STUBS = ROOT / "python" / "mapplot-stubs" / "__init__.pyi"


def stub_tree():
    return ast.parse(STUBS.read_text())


def parameters(function):
    """(names by position or keyword, names by keyword only) of a def."""
    a = function.args
    return [p.arg for p in a.posonlyargs + a.args], [p.arg for p in a.kwonlyargs]


def stub_functions():
    return {node.name: node for node in stub_tree().body if isinstance(node, ast.FunctionDef)}


def runtime_parameters(name):
    """The arguments the routine takes, from what it says when it is given one
    it does not know."""
    arguments = {} if name in ("read_map", "run_program") else {"x": 0, "y": 0, "z": 0}
    with pytest.raises(TypeError) as raised:
        getattr(mapplot, name)(**arguments, no_such_option=0)
    message = str(raised.value)
    options = re.search(r"its options are (.*)$", message)
    if options:  # the renderings: x, y, z, then the options by keyword only
        return ["x", "y", "z"], options.group(1).split(", ")
    signature = re.search(r"^\s*1\. \((.*)\) ->", message, re.M)  # pybind11's own message
    assert signature, message
    return [p.split(":")[0].strip() for p in signature.group(1).split(",")], []


def docstring_parameters(name):
    """The arguments of the signature the routine's docstring begins with."""
    first = getattr(mapplot, name).__doc__.splitlines()[0]
    tree = ast.parse("def " + re.sub(r"\s*->.*$", "", first) + ": pass")
    return parameters(tree.body[0])


def stub_all():
    """The names of the stubs' __all__."""
    for node in stub_tree().body:
        if isinstance(node, ast.Assign) and [t.id for t in node.targets] == ["__all__"]:
            return [element.value for element in node.value.elts]
    return None


def test_all_names_the_public_names_and_every_class_says_what_it_is():
    public = {n for n in dir(mapplot) if not n.startswith("_")}
    assert sorted(mapplot.__all__) == sorted(public) and len(set(mapplot.__all__)) == len(public)
    assert stub_all() == list(mapplot.__all__)
    star = {}
    exec("from mapplot import *", star)
    assert set(star) - {"__builtins__"} == public
    # Every class a docstring of its own, not an inherited or generated one.
    for name in public:
        kind = getattr(mapplot, name)
        if isinstance(kind, type):
            own = kind.__dict__.get("__doc__")
            assert own and own != f"{name}({', '.join(getattr(kind, '_fields', ()))})", name
            assert len(own.split()) >= 10, name
    assert mapplot.FatalError.__doc__.startswith("A fatal error of the module")


def test_the_stubs_name_what_the_module_has():
    names = set()
    for node in stub_tree().body:
        if isinstance(node, (ast.FunctionDef, ast.ClassDef)):
            names.add(node.name)
        elif isinstance(node, ast.AnnAssign):
            names.add(node.target.id)
    names = {n for n in names if not n.startswith("_") or n == "__version__"}
    module = {n for n in dir(mapplot) if not n.startswith("_")} | {"__version__"}
    assert names == module


ROUTINES = ["scr_map", "render", "ps_map", "dat_map", "nc_map", "read_map", "run_program", "quiet"]


@pytest.mark.parametrize("name", ROUTINES)
def test_the_stubs_give_each_routine_its_arguments(name):
    stub = parameters(stub_functions()[name])
    assert stub == runtime_parameters(name)
    assert stub == docstring_parameters(name)
    # Every option may be left out.
    function = stub_functions()[name]
    assert len(function.args.kw_defaults) == len(function.args.kwonlyargs)
    assert all(isinstance(d, ast.Constant) and d.value is None for d in function.args.kw_defaults)


def test_the_stubs_give_the_fields_of_map_data(tmp_path):
    stub = next(n for n in stub_tree().body if isinstance(n, ast.ClassDef) and n.name == "MapData")
    fields = [n.target.id for n in stub.body if isinstance(n, ast.AnnAssign)]
    assert fields == list(mapplot.MapData._fields)
    x = np.array([0, 1], np.float32)
    mapplot.dat_map(x, x, np.zeros(4, np.float32), file=tmp_path / "a.dat")
    back = mapplot.read_map(tmp_path / "a.dat")
    assert [type(v).__name__ for v in back] == ["ndarray"] * 3 + ["str"] * 3
    assert {v.dtype for v in back[:3]} == {np.dtype(np.float32)}
    assert issubclass(mapplot.FatalError, Exception)
    assert isinstance(mapplot.__version__, str)


def mypy(files, folder):
    """mypy's verdict on the files, with the stubs as the module's types."""
    stubs = folder / "stubs"
    stubs.mkdir()
    shutil.copyfile(STUBS, stubs / "mapplot.pyi")
    env = dict(os.environ, MYPYPATH=str(stubs))
    env.pop("PYTHONPATH", None)  # the types come from the stubs alone
    return subprocess.run(
        [sys.executable, "-m", "mypy", "--check-untyped-defs", "--no-error-summary",
         "--cache-dir", str(folder / "cache"), *map(str, files)],
        capture_output=True, text=True, cwd=folder, env=env, timeout=240)


def test_mypy_accepts_the_examples_and_refuses_what_the_module_refuses(tmp_path):
    readme = (ROOT / "README.md").read_text()
    examples = re.findall(r"^```python\n(.*?)^```$", readme, re.S | re.M)
    assert examples
    files = []
    for k, example in enumerate(examples):
        files.append(tmp_path / f"readme_example_{k + 1}.py")
        files[-1].write_text(example)
    files += sorted((ROOT / "python" / "examples").glob("*.py"))
    # Calls the module refuses with a TypeError, one a line.
    wrong = tmp_path / "wrong_calls.py"
    wrong.write_text("\n".join([
        "import numpy as np",
        "import mapplot",
        "x = np.zeros(2)",
        "mapplot.ps_map(x, x, x, titel='a')",
        "mapplot.dat_map(x, x, x, 1)",
        "mapplot.scr_map(x, x, x, size='2')",
        "mapplot.render(x, x, x, own_window=True)",
        "mapplot.dat_map(x, x, x, file=3)",
        "mapplot.read_map('Map.dat').titel",
        "picture: str = mapplot.render(x, x, x)",
        "mapplot.run_program('a', 3)",
        "mapplot.render(x, x, x, zmin='0')",
        "mapplot.dat_map(x, x, x, palette='grey')",
        ""]))
    result = mypy(files + [wrong], tmp_path)
    errors = [line for line in result.stdout.splitlines() if ": error: " in line]
    assert all(line.startswith("wrong_calls.py:") for line in errors), result.stdout + result.stderr
    assert sorted({int(line.split(":")[1]) for line in errors}) == list(range(4, 14)), result.stdout


def test_inspect_signature_gives_each_routine_its_arguments_and_defaults():
    kinds = {inspect.Parameter.POSITIONAL_OR_KEYWORD: 0, inspect.Parameter.KEYWORD_ONLY: 1}
    assert sorted(ROUTINES) == sorted(n for n in mapplot.__all__ if not isinstance(
        getattr(mapplot, n), type))
    for name in ROUTINES:
        routine = getattr(mapplot, name)
        signature = inspect.signature(routine)
        taken = ([], [])
        for p in signature.parameters.values():
            taken[kinds[p.kind]].append(p.name)
        assert taken == tuple(docstring_parameters(name)) == tuple(runtime_parameters(name)), name
        stub = stub_functions()[name].args
        stub_defaults = [ast.literal_eval(d) for d in stub.defaults + stub.kw_defaults]
        defaults = [p.default for p in signature.parameters.values()
                    if p.default is not inspect.Parameter.empty]
        assert defaults == stub_defaults, name
        # The docstring stays as written, its signature line first.
        assert routine.__doc__.startswith(name + "("), name
    # The signature binds the calls the routine takes and refuses the others.
    signature = inspect.signature(mapplot.ps_map)
    assert signature.bind(1, 2, 3, file="m.png").arguments["file"] == "m.png"
    for wrong in (((1, 2, 3, 4), {}), ((1, 2, 3), dict(size=2)), ((1, 2), {})):
        with pytest.raises(TypeError):
            signature.bind(*wrong[0], **wrong[1])
