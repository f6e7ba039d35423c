#!/usr/bin/python3
"""scripts/apt-deb-src on apt sources made up here (APT_CONFIG points apt at
them): which deb entries get a deb-src and where, that apt reads the result,
that a second run changes nothing, and the refusal when nothing can be
derived."""
import os
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
from harness import ROOT, run  # noqa: E402

SCRIPT = os.path.join(ROOT, "scripts", "apt-deb-src")


def release():
    with open("/etc/os-release", encoding="utf-8") as f:
        for line in f:
            if line.startswith("VERSION_CODENAME="):
                return line.split("=", 1)[1].strip().strip('"')
    return ""


R = release()

ONE_LINE = f"""# the machine's own entries
deb [arch=amd64 signed-by=/usr/share/keyrings/x.gpg] http://mirror.test/debian/ {R} main contrib # a comment
deb http://mirror.test/debian-security {R}-security main
deb-src http://mirror.test/debian-security/ {R}-security main
deb cdrom:[Debian GNU/Linux 12 _{R}_ - Official amd64 DVD Binary-1]/ {R} contrib main
deb http://other.test/apt stable main
"""

DEB822 = f"""Types: deb
# a comment in the stanza
URIs: http://a.test/debian
Suites: {R} {R}-updates
Components: main
Signed-By:
 -----BEGIN PGP PUBLIC KEY BLOCK-----
 .
 mDMEZ
 -----END PGP PUBLIC KEY BLOCK-----

Types: deb
URIs: http://b.test/x
Suites: nodistro
Components: main

Types: deb
URIs: http://c.test/debian
Suites: {R}-backports
Components: main
Enabled: no

types:deb
uris: http://d.test/debian
suites: {R}
components: main
"""


@unittest.skipUnless(R, "no VERSION_CODENAME in /etc/os-release")
class AptDebSrc(unittest.TestCase):
    def setUp(self):
        tmp = tempfile.TemporaryDirectory()
        self.addCleanup(tmp.cleanup)
        d = tmp.name
        self.etc = os.path.join(d, "etc")
        self.parts = os.path.join(self.etc, "sources.list.d")
        for sub in ("sources.list.d", "apt.conf.d", "preferences.d", "trusted.gpg.d"):
            os.makedirs(os.path.join(self.etc, sub))
        os.makedirs(os.path.join(d, "lists", "partial"))
        conf = os.path.join(d, "apt.conf")
        with open(conf, "w", encoding="utf-8") as f:
            f.write(f'Dir::Etc "{self.etc}";\nDir::State::Lists "{d}/lists";\nDir::Cache "{d}/cache";\n')
        self.env = {**os.environ, "APT_CONFIG": conf}

    def write(self, path, text):
        with open(path, "w", encoding="utf-8") as f:
            f.write(text)

    def read(self, path):
        with open(path, encoding="utf-8") as f:
            return f.read()

    def run_script(self, *args):
        return run([SCRIPT, *args], timeout=30, env=self.env, capture_output=True, text=True)

    def source_indexes(self):
        """The Sources files apt would fetch: apt read every file."""
        done = run(["apt-get", "--print-uris", "update"], timeout=30, env=self.env, capture_output=True, text=True)
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertNotIn("E:", done.stderr)
        return sorted(line.split("'")[1] for line in done.stdout.splitlines() if "/source/Sources" in line)

    def test_each_entry_of_the_release_gets_its_deb_src(self):
        self.write(os.path.join(self.etc, "sources.list"), ONE_LINE)
        sources = os.path.join(self.parts, "debian.sources")
        self.write(sources, DEB822)
        self.write(os.path.join(self.parts, "old.list.disabled"), f"deb http://e.test/debian {R} main\n")
        os.chmod(sources, 0o640)

        check = self.run_script("--check")
        self.assertEqual((check.returncode, check.stdout), (1, ""), check.stderr)
        self.assertEqual(self.read(sources), DEB822)

        done = self.run_script()
        self.assertEqual(done.returncode, 0, done.stderr)
        # Stanzas 1 and 4 (the release's) get deb-src; the other archive and
        # the disabled stanza stay as they were, and so does everything else.
        self.assertEqual(self.read(sources), DEB822.replace("Types: deb\n# a", "Types: deb deb-src\n# a", 1)
                         .replace("types:deb\n", "types:deb deb-src\n"))
        self.assertEqual(os.stat(sources).st_mode & 0o777, 0o640)
        # The one-line entry keeps its options and components; the security
        # suite had its deb-src, the cdrom and the other archive get none.
        ours = self.read(os.path.join(self.parts, "tarvel-src.list"))
        self.assertEqual([line for line in ours.splitlines() if not line.startswith("#")],
                         [f"deb-src [arch=amd64 signed-by=/usr/share/keyrings/x.gpg] http://mirror.test/debian/ {R} main contrib"])
        self.assertEqual(self.source_indexes(), sorted([
            f"http://a.test/debian/dists/{R}/main/source/Sources.xz",
            f"http://a.test/debian/dists/{R}-updates/main/source/Sources.xz",
            f"http://d.test/debian/dists/{R}/main/source/Sources.xz",
            f"http://mirror.test/debian/dists/{R}/main/source/Sources.xz",
            f"http://mirror.test/debian/dists/{R}/contrib/source/Sources.xz",
            f"http://mirror.test/debian-security/dists/{R}-security/main/source/Sources.xz",
        ]))

        # Done once: nothing more to add, nothing printed.
        files = {name: self.read(os.path.join(self.parts, name)) for name in os.listdir(self.parts)}
        for args in (("--check",), ()):
            again = self.run_script(*args)
            self.assertEqual((again.returncode, again.stdout, again.stderr), (0, "", ""))
        self.assertEqual({name: self.read(os.path.join(self.parts, name)) for name in os.listdir(self.parts)}, files)

    def test_nothing_to_derive_from_says_what_to_add(self):
        self.write(os.path.join(self.etc, "sources.list"), "deb http://other.test/apt stable main\n")
        for args in (("--check",), ()):
            done = self.run_script(*args)
            self.assertEqual(done.returncode, 2)
            self.assertIn(f"deb-src URI {R} main", done.stderr)
            self.assertIn(os.path.join(self.parts, "tarvel-src.list"), done.stderr)
        self.assertEqual(os.listdir(self.parts), [])


if __name__ == "__main__":
    unittest.main(verbosity=2)
