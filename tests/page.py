# SPDX-License-Identifier: MIT
"""The browser driver, for the tests that import it by this name: it lives in web/."""
import os, sys  # noqa: E401
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "web"))
from chromium import Browser, Quiet, serve  # noqa: E402,F401
