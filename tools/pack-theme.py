#!/usr/bin/env python3
"""Compresses assets/themes.txt into assets/themes.z (a zlib stream), the theme resource."""
import pathlib
import zlib

assets = pathlib.Path(__file__).resolve().parent.parent / "assets"
(assets / "themes.z").write_bytes(zlib.compress((assets / "themes.txt").read_bytes(), 9))
