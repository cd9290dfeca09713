"""Temporary folders of a test's own, removed with their contents when the
test (or the test class) ends: the Python side of CTestFolder."""
import shutil
import tempfile


def test_folder(case, stem):
    """A new folder for one test of a unittest.TestCase, removed after it."""
    path = tempfile.mkdtemp(prefix=stem + "-")
    case.addCleanup(shutil.rmtree, path, ignore_errors=True)
    return path


def class_folder(cls, stem):
    """A new folder for a whole test class (call in setUpClass), removed after its last test."""
    path = tempfile.mkdtemp(prefix=stem + "-")
    cls.addClassCleanup(shutil.rmtree, path, ignore_errors=True)
    return path
