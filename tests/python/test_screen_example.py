"""examples/screen.py: a table and a figure for the first structures of the bundled electrolytes."""
import subprocess
import sys

import pandas as pd

from conftest import ROOT


def test_screen_writes_table_and_figure(tmp_path):
    p = subprocess.run([sys.executable, str(ROOT / "examples" / "screen.py"), "--limit", "3", "--out",
                        str(tmp_path)], capture_output=True, text=True, timeout=600)
    assert p.returncode == 0, p.stderr
    table = pd.read_csv(tmp_path / "screen.csv", index_col="id", dtype={"id": str})
    assert list(table.index) == ["1e9", "2t8", "7cr"]
    assert table["Ea_3D"].notna().all() and (table["Ea_3D"] > 0).all()
    assert table.loc["7cr", "sigma_S_cm"] == 4.4e-18
    assert (tmp_path / "screen.png").stat().st_size > 0
