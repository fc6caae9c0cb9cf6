"""The README's Python example runs as written and prints what the README quotes; a script that
configures nothing sees no output from the module."""
import os
import re
import subprocess
import sys

from conftest import EXAMPLES, ROOT, copy_into


def readme_python_example():
    text = (ROOT / "README.md").read_text()
    section = text[text.index("\n## Python\n"):]
    code = re.search(r"```python\n(.*?)```", section, re.S).group(1)
    quoted = re.search(r"```python\n.*?```\n.*?```\n(.*?)```", section, re.S).group(1)
    return code, quoted


def run_python(code, cwd):
    return subprocess.run([sys.executable, "-c", code], cwd=cwd, capture_output=True, text=True,
                          env=dict(os.environ), timeout=600)


def test_readme_example_prints_what_the_readme_quotes(tmp_path):
    code, quoted = readme_python_example()
    copy_into(tmp_path, EXAMPLES / "LiFePO4.cif")
    p = run_python(code, tmp_path)
    assert p.returncode == 0, p.stderr
    assert p.stdout == quoted
    assert p.stderr == ""
    assert (tmp_path / "LiFePO4.cube").stat().st_size > 0


def test_nothing_is_printed_unless_asked(tmp_path):
    # warnings of the engines (here: the screening-factor search and unconnected saddles) stay in
    # logging, which this script does not configure
    code = """
import kelmar, naro
s = kelmar.Structure.from_cif({cif!r})
land = kelmar.landscape(s, "Li", 1, resolution=0.3)
land.percolation()
s.bond_valence_sums()
try:
    kelmar.landscape(s, "Li", 0)
except kelmar.KelmarError:
    pass
""".format(cif=str(ROOT / "tests" / "data" / "electrolytes" / "j5g.cif"))
    p = run_python(code, tmp_path)
    assert p.returncode == 0, p.stderr
    assert (p.stdout, p.stderr) == ("", "")
    loud = run_python(code.replace('resolution=0.3)', 'resolution=0.3, verbose=True)'), tmp_path)
    assert "Message: sf=" in loud.stdout
