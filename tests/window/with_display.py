"""Runs one program with DISPLAY set to a private Xvfb and exits with its status."""
import os
import subprocess
import sys

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import game_session  # noqa: E402


def main():
    server = game_session.Xvfb()
    try:
        return subprocess.run(sys.argv[1:], env=server.env(), timeout=300).returncode
    finally:
        server.close()


if __name__ == "__main__":
    sys.exit(main())
