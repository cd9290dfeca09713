#!/usr/bin/env python3
"""Signs the finished updater with Authenticode (osslsigncode), in place.

Run by the build after the link, when every resource is in the file. On
failure the unsigned file is removed, so that no unsigned updater is left
where a signed one is expected.

usage: sign.py --in FILE (--cert PEM --key PEM | --pkcs12 FILE [--password-env NAME])
               [--name TEXT] [--url URL] [--timestamp URL]
"""
import argparse
import os
import subprocess
import sys
import tempfile


def main():
    parser = argparse.ArgumentParser(usage=__doc__)
    parser.add_argument("--in", dest="path", required=True)
    parser.add_argument("--cert")
    parser.add_argument("--key")
    parser.add_argument("--pkcs12")
    parser.add_argument("--password-env", default="ZENTREL_SIGN_PASSWORD")
    parser.add_argument("--name", default="Zentrel Update Program")
    parser.add_argument("--url")
    parser.add_argument("--timestamp")
    args = parser.parse_args()

    command = ["osslsigncode", "sign", "-h", "sha256", "-n", args.name]
    password_file = None
    if args.pkcs12:
        command += ["-pkcs12", args.pkcs12]
        password = os.environ.get(args.password_env)
        if password is not None:
            # Through a private file, never on a command line others can read.
            fd, password_file = tempfile.mkstemp(prefix="zentrel-sign-")
            with os.fdopen(fd, "w") as f:
                f.write(password)
            command += ["-readpass", password_file]
    elif args.cert and args.key:
        command += ["-certs", args.cert, "-key", args.key]
    else:
        parser.error("give --cert and --key, or --pkcs12")
    if args.url:
        command += ["-i", args.url]
    if args.timestamp:
        command += ["-ts", args.timestamp]

    signed = args.path + ".signed"
    try:
        proc = subprocess.run(command + ["-in", args.path, "-out", signed], capture_output=True, text=True)
    finally:
        if password_file:
            os.remove(password_file)
    if proc.returncode != 0 or not os.path.exists(signed):
        print(f"signing {args.path} failed:\n{proc.stdout}{proc.stderr}", file=sys.stderr)
        for path in (signed, args.path):
            if os.path.exists(path):
                os.remove(path)
        return 1
    os.replace(signed, args.path)
    print(f"signed {os.path.basename(args.path)}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
