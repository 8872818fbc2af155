# SPDX-License-Identifier: MIT
"""quax.view: the page of a scan set (drawn in a browser by tests/view)."""

import base64
import re

import pytest

import quax

pytestmark = pytest.mark.skipif(not hasattr(quax._quax, "_view_page"),
                                reason="built without the 3D view (no three.js)")


def blocks(page, kind):
    return [base64.b64decode(b) for b in
            re.findall(r'id="quax-' + kind + r'-\d+">([^<]*)</script>', page)]


def test_view_thins_colours_and_writes_both_scans(tmp_path):
    scan = quax.simulate(frames=20, points=100, dropouts=0)
    page = quax.view(scan, color="overlap", max_points=1000, before=scan,
                     first_frame_points=300, filters=quax.AverageFilter(5, 500.0),
                     title="a & b")
    positions = blocks(page, "positions")
    assert [len(p) for p in positions] == [9 * 1000, 9 * 1000]
    assert '"firstFramePoints": 300' in page and '"firstFramePoints": 250000' in quax.view(scan)
    assert '"colour": "overlap"' in page and "<title>a &amp; b</title>" in page
    path = tmp_path / "view.html"
    assert quax.view(scan, path, color="deviation",
                     filters=[quax.AverageFilter(5, 500.0)] * 2) == path
    assert path.read_text(encoding="utf-8").startswith("<!DOCTYPE html>")
    frame = scan._repr_html_()
    assert frame.startswith("<iframe") and "&lt;!DOCTYPE html&gt;" in frame


@pytest.mark.parametrize("kwargs, error", [
    ({"color": "red"}, ValueError),
    ({"max_points": 1}, ValueError),
    ({"max_points": 2.5}, ValueError),
    ({"first_frame_points": -1}, ValueError),
    ({"color": "overlap", "tolerance": 0}, ValueError),
    ({"filters": ["not a filter"]}, TypeError),
])
def test_view_refuses_bad_options(kwargs, error):
    with pytest.raises(error):
        quax.view(quax.simulate(frames=2, points=10), **kwargs)
