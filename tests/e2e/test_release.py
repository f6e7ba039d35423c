#!/usr/bin/python3
"""Builds the release package from the programs under test and opens it: the
zip is named after the project's version, holds exactly its six files in
one folder, the user guide is Japanese text as Windows users expect it, the
version resources of the executables agree with the zip's name, and both
SHA256SUMS (beside the zip and inside it) verify with sha256sum -c."""
import os
import re
import tempfile
import unittest
import zipfile

import pefile

from scenario import ROOT, run

EXPECTED = {"Tarvel.exe", "cadhost.exe", "tarvel-check.exe", "demo.picks", "使い方.txt", "SHA256SUMS"}


def project_version():
    with open(os.path.join(ROOT, "CMakeLists.txt"), encoding="utf-8") as f:
        return re.search(r"project\(Tarvel VERSION (\d+\.\d+\.\d+)", f.read()).group(1)


def file_version(data):
    """The fixed file version of a PE image, as "a.b.c.d", or None."""
    pe = pefile.PE(data=data, fast_load=True)
    pe.parse_data_directories(directories=[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_RESOURCE"]])
    fixed = getattr(pe, "VS_FIXEDFILEINFO", None)
    if not fixed:
        return None
    f = fixed[0]
    return f"{f.FileVersionMS >> 16}.{f.FileVersionMS & 0xFFFF}.{f.FileVersionLS >> 16}.{f.FileVersionLS & 0xFFFF}"


class Release(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory(prefix="tarvel-release-")
        cls.out = cls.tmp.name
        build = os.environ.get("TARVEL_BUILD_DIR", os.path.join(ROOT, "build", "windows"))
        done = run([os.path.join(ROOT, "scripts", "package-release"), "--build", build, "--out", cls.out],
                   timeout=120, capture_output=True, text=True)
        if done.returncode != 0:
            raise AssertionError(done.stdout + done.stderr)
        cls.zip_path = done.stdout.strip().splitlines()[-1]
        cls.version = project_version()

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    def test_name_and_contents(self):
        self.assertRegex(self.version, r"^\d+\.\d+\.\d+$")
        self.assertEqual(os.path.basename(self.zip_path), f"tarvel-{self.version}.zip")
        with zipfile.ZipFile(self.zip_path) as z:
            self.assertIsNone(z.testzip())
            names = z.namelist()
        folder = f"tarvel-{self.version}/"
        self.assertTrue(all(n.startswith(folder) for n in names), names)
        self.assertEqual({n[len(folder):] for n in names}, EXPECTED)

    def test_version_resources_agree_with_the_name(self):
        with zipfile.ZipFile(self.zip_path) as z:
            tarvel = z.read(f"tarvel-{self.version}/Tarvel.exe")
            cadhost = z.read(f"tarvel-{self.version}/cadhost.exe")
        self.assertEqual(file_version(tarvel), self.version + ".0")
        host = file_version(cadhost)
        if host is None:
            self.skipTest("cadhost.exe carries no version resource")
        self.assertEqual(host, self.version + ".0")

    def test_checksums_verify_in_their_folders(self):
        with tempfile.TemporaryDirectory(prefix="tarvel-unpacked-") as unpacked:
            with zipfile.ZipFile(self.zip_path) as z:
                z.extractall(unpacked)
            for folder, files in ((self.out, 1), (os.path.join(unpacked, f"tarvel-{self.version}"), 5)):
                done = run(["sha256sum", "-c", "SHA256SUMS"], timeout=60, cwd=folder, capture_output=True, text=True,
                           env=dict(os.environ, LC_ALL="C"))
                self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
                self.assertEqual(done.stdout.count(": OK"), files, done.stdout)
            # A changed byte is caught.
            with open(os.path.join(unpacked, f"tarvel-{self.version}", "demo.picks"), "ab") as f:
                f.write(b"#")
            done = run(["sha256sum", "-c", "SHA256SUMS"], timeout=60, cwd=os.path.join(unpacked, f"tarvel-{self.version}"),
                       capture_output=True, text=True)
            self.assertNotEqual(done.returncode, 0, done.stdout)

    def test_text_files_read_on_windows(self):
        with zipfile.ZipFile(self.zip_path) as z:
            guide = z.read(f"tarvel-{self.version}/使い方.txt")
            picks = z.read(f"tarvel-{self.version}/demo.picks")
        self.assertTrue(guide.startswith(b"\xef\xbb\xbf"), "the guide has no UTF-8 byte-order mark")
        text = guide[3:].decode("utf-8")
        for data in (text.encode("utf-8"), picks):
            self.assertNotIn(b"\n", data.replace(b"\r\n", b""), "a line ends without CR LF")
        # What the guide must tell: what Tarvel does, the three options, the
        # order of the picks, what to do when nothing happens.
        for needed in ("連続", "1段", "２段(上付)", "２段(中間)", "寸法線開始点を入力", "寸法線終了点を入力",
                       "寸法値配置位置を入力", "何も起こらないとき", "cadhost.exe", "tarvel-check.exe",
                       "管理者として実行", "tarvel-check.exe --probe", "ブロックの解除", "SmartScreen",
                       "certutil -hashfile", "SHA256SUMS"):
            self.assertIn(needed, text)
        self.assertIn(f"Tarvel {self.version} 使い方", text)
        self.assertNotIn("@TARVEL_VERSION@", text)


if __name__ == "__main__":
    unittest.main(verbosity=2)
