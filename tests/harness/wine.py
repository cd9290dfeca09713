"""The test harness's view of a Wine prefix: the prefixes the build makes
(tools/wine_prefix.py), plus what only the tests read back from them."""
import os
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))), "tools"))

import wine_prefix  # noqa: E402
from wine_prefix import WINE, WINESERVER, base_env  # noqa: E402,F401


class Prefix(wine_prefix.Prefix):
    """A cloned prefix with its own persistent wineserver. Use as a context manager."""

    def user_temp_folder(self):
        """The Windows path of the user's temporary folder. Wine names the
        user's folder after the Linux user, so it is asked, not assumed."""
        code, text = self.run(["cmd", "/c", "echo", "%TEMP%"], check=True)
        folder = text.strip()
        assert folder[1:3] == ":\\", text
        return folder

    def reg_values(self, key, view, regdump_exe):
        """{name: (type, bytes)} of a key under HKLM, exactly as stored, or None when it is missing."""
        fd, out = tempfile.mkstemp(suffix=".txt", dir=self.path)
        os.close(fd)
        try:
            self.run([self.windows_path(regdump_exe), self.windows_path(out), str(view), key], check=True)
            with open(out, encoding="utf-8") as f:
                lines = f.read().splitlines()
        finally:
            os.remove(out)
        if lines == ["missing"]:
            return None
        values = {}
        for line in lines:
            name, kind, data = line.split("\t")
            values[name] = (int(kind), bytes.fromhex(data))
        return values

