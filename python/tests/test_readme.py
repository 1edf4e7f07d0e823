"""The README's Python examples run as written, in the order given, each a
script of its own in one folder."""

import os
import pathlib
import re

from conftest import run_python

README = pathlib.Path(__file__).resolve().parents[2] / "README.md"


def test_the_readmes_python_examples_run_in_order(tmp_path):
    examples = re.findall(r"^```python\n(.*?)^```$", README.read_text(), re.S | re.M)
    assert len(examples) == 2
    for example in examples:
        result = run_python(example, cwd=tmp_path)
        assert result.returncode == 0, example + result.stderr
    assert sorted(os.listdir(tmp_path)) == ["Map.dat", "Map.nc", "bump.png", "m.png"]
