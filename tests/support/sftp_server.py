#!/usr/bin/python3
"""A loopback SFTP server with password logins for the transport tests (asyncssh)."""

import argparse
import asyncio
import os
import sys
import warnings

warnings.filterwarnings("ignore")
import asyncssh  # noqa: E402


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--root", required=True, help="folder the SFTP session sees as /")
    parser.add_argument("--user", required=True)
    parser.add_argument("--password", required=True)
    parser.add_argument("--host-key", required=True, help="private host key file (made if missing)")
    parser.add_argument("--truncate", action="store_true",
                        help="keep only the first half of every file written, still answering OK")
    parser.add_argument("--no-stat", action="store_true", help="refuse stat and lstat")
    parser.add_argument("--no-posix-rename", action="store_true",
                        help="do not offer OpenSSH's posix-rename extension")
    parser.add_argument("--throttle", type=int, default=0,
                        help="take at most this many bytes a second of uploads")
    parser.add_argument("--refuse-name", default="",
                        help="refuse to rename onto, write or remove files of this name")
    parser.add_argument("--refuse-name-again", default="",
                        help="let one rename onto files of this name through, refuse the rest")
    args = parser.parse_args()
    renamed_once = set()

    if args.no_posix_rename:
        asyncssh.sftp.SFTPServerHandler._extensions = [
            e for e in asyncssh.sftp.SFTPServerHandler._extensions
            if e[0] != b"posix-rename@openssh.com"]

    if not os.path.exists(args.host_key):
        key = asyncssh.generate_private_key("ssh-ed25519")
        key.write_private_key(args.host_key)
        key.write_public_key(args.host_key + ".pub")

    class Server(asyncssh.SSHServer):
        def begin_auth(self, username):
            return True

        def password_auth_supported(self):
            return True

        def validate_password(self, username, password):
            return username == args.user and password == args.password

    class Sftp(asyncssh.SFTPServer):
        def __init__(self, chan):
            super().__init__(chan, chroot=args.root.encode())

        async def write(self, file_obj, offset, data):
            if args.throttle:
                await asyncio.sleep(len(data) / args.throttle)
            return super().write(file_obj, offset, data)

        def close(self, file_obj):
            if args.truncate and file_obj.writable():
                file_obj.flush()
                file_obj.truncate(os.fstat(file_obj.fileno()).st_size // 2)
            return super().close(file_obj)

        def _refused(self, path):
            if args.refuse_name and os.path.basename(path).decode() == args.refuse_name:
                raise asyncssh.SFTPError(asyncssh.FX_PERMISSION_DENIED, "refused by the test")

        def open(self, path, pflags, attrs):
            if pflags & asyncssh.FXF_WRITE:
                self._refused(path)
            return super().open(path, pflags, attrs)

        def _refused_again(self, path):
            self._refused(path)
            if args.refuse_name_again and os.path.basename(path).decode() == args.refuse_name_again:
                if path in renamed_once:
                    raise asyncssh.SFTPError(asyncssh.FX_PERMISSION_DENIED, "refused by the test")
                renamed_once.add(path)

        def rename(self, oldpath, newpath):
            self._refused_again(newpath)
            return super().rename(oldpath, newpath)

        def posix_rename(self, oldpath, newpath):
            self._refused_again(newpath)
            return super().posix_rename(oldpath, newpath)

        def remove(self, path):
            self._refused(path)
            return super().remove(path)

        def stat(self, path):
            if args.no_stat:
                raise asyncssh.SFTPError(asyncssh.FX_OP_UNSUPPORTED, "stat is not offered")
            return super().stat(path)

        def lstat(self, path):
            if args.no_stat:
                raise asyncssh.SFTPError(asyncssh.FX_OP_UNSUPPORTED, "stat is not offered")
            return super().lstat(path)

    async def start():
        await asyncssh.create_server(Server, "127.0.0.1", args.port,
                                     server_host_keys=[args.host_key],
                                     sftp_factory=Sftp)
        sys.stderr.write(">>> starting SFTP server on 127.0.0.1:%d, pid=%d <<<\n"
                         % (args.port, os.getpid()))
        sys.stderr.flush()

    loop = asyncio.new_event_loop()
    loop.run_until_complete(start())
    loop.run_forever()


if __name__ == "__main__":
    main()
