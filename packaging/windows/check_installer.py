"""Usage: WINEPREFIX=... check_installer.py SETUP_EXE (no display needed). The Windows installer under wine, into
its default folder and into one named with a space and a letter outside ASCII: a silent install, its files, Start menu
shortcut and uninstall key; the shortcut's command with a stand-in game, which saves in %APPDATA%\\Clodmere and, when
it fails, leaves the console waiting for a key; a silent uninstall that leaves the save and nothing else."""
import os, pwd, shutil, subprocess, sys, tempfile, time

WINE, LONG = "/usr/lib/wine/wine64", 120.0
KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Clodmere"
STAND_IN = b"""#include <stdio.h>
#include <stdlib.h>
int main(void) { fclose(fopen("ClodmereSave.wld", "wb")); return atoi(getenv("STAND_IN_EXIT") ?: "0"); }"""
user = pwd.getpwuid(os.getuid()).pw_name
env = dict(os.environ, USER=user, LANG="C.UTF-8", WINEDEBUG="-all", WINEDLLOVERRIDES="winemenubuilder.exe=d")


def unix(path):
    return os.path.join(os.environ["WINEPREFIX"], "drive_c", *path[3:].split("\\"))


def wine(command, stand_in_exit="0", **options):
    """Runs a Windows command line as it is, through cmd: wine would quote arguments."""
    return subprocess.Popen([WINE, "cmd.exe", "/d", "/c", "%COMMAND%"], stdout=subprocess.PIPE,
                            env=dict(env, COMMAND=command, STAND_IN_EXIT=stand_in_exit), **options)


def run_until(what, command, predicate):  # an NSIS program may return before its work is done
    start = time.monotonic()
    wine(command).wait(LONG)
    while not predicate():
        assert time.monotonic() < start + LONG, "timed out waiting for " + what
        time.sleep(0.1)
    print("%s: %.1f s" % (what, time.monotonic() - start))


def registered():
    query = subprocess.run([WINE, "reg", "query", KEY], env=env, capture_output=True, timeout=LONG)
    return query.returncode == 0 and query.stdout


def one_round(setup, stand_in, folder):
    profile = "C:\\users\\" + user + "\\AppData\\"
    saves = unix(profile + "Roaming\\Clodmere")
    assert not registered(), "Clodmere is installed already: give a new prefix"
    run_until("install into " + (folder or "the default folder"), '"%s" /S%s' % (setup, folder and " /D=" + folder),
              lambda: b"EstimatedSize" in registered())  # the last value written
    folder = folder or profile + "Local\\Programs\\Clodmere"
    for name in ("clodmere.exe", "clodmere-save.exe", "data\\arial.ttf", "start-from-menu.cmd", "uninstall.exe"):
        assert os.path.isfile(unix(folder + "\\" + name)), name + " is not installed"
    values = registered()
    assert all(value in values for value in (b"DisplayName", b"DisplayVersion", b"DisplayIcon", b"UninstallString",
                                             b"NoModify", b"NoRepair", b'uninstall.exe" /S')), values
    shortcut = unix(profile + "Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Clodmere.lnk")
    link = open(shortcut, "rb").read()
    assert all(part.encode("utf-16-le") in link for part in ("cmd.exe", folder + "\\clodmere.exe")), "program, icon"
    at = link.index("/d /c".encode("utf-16-le"))  # its arguments, after their length
    command = "C:\\windows\\system32\\cmd.exe " + link[at:at + 2 * int.from_bytes(link[at - 2:at], "little")].decode(
        "utf-16-le").rstrip("\0")
    shutil.copy(stand_in, unix(folder + "\\clodmere.exe"))
    shutil.rmtree(saves, ignore_errors=True)  # the launcher makes it at each start
    assert wine(command, stdin=subprocess.PIPE).wait(LONG) == 0, "exit status 0 waited or failed"
    assert os.listdir(saves) == ["ClodmereSave.wld"], "no save in %APPDATA%\\Clodmere"
    assert not os.path.exists(unix(folder + "\\ClodmereSave.wld")), "a save in the install folder"
    failing = wine(command, "3", stdin=subprocess.PIPE)
    assert b"Press a key" in failing.stdout.readline(), "no prompt after exit status 3"
    time.sleep(2)
    assert failing.poll() is None, "the console closed without a key"
    failing.communicate(b"x\r\n", LONG)
    assert failing.returncode == 3, "exit status %s after a key" % failing.returncode
    run_until("uninstall", '"%s\\uninstall.exe" /S' % folder,
              lambda: not os.path.exists(unix(folder)) and not registered())
    assert not os.path.exists(shortcut), "the shortcut is left"
    assert os.listdir(saves) == ["ClodmereSave.wld"], "the save is not kept alone"


if __name__ == "__main__":
    with tempfile.TemporaryDirectory() as work:
        stand_in = os.path.join(work, "stand-in.exe")
        subprocess.run(["x86_64-w64-mingw32-gcc", "-x", "c", "-o", stand_in, "-"], input=STAND_IN, check=True)
        for folder in ("", "C:\\Zoë Smith\\Games\\Clodmere"):
            one_round("Z:" + os.path.abspath(sys.argv[1]).replace("/", "\\"), stand_in, folder)
    print("check_installer: ok")
