#!/usr/bin/python3
# A read-only FUSE view of a folder that does not answer while a gate file exists: a network or FUSE file
# system that hangs, made on demand. Usage: heldfs.py FOLDER GATE MOUNTPOINT -f
import os
import sys
import time

import fuse

fuse.fuse_python_api = (0, 2)


class Held(fuse.Fuse):
    def __init__(self, folder, gate, *args, **kwargs):
        super().__init__(*args, **kwargs)
        self.folder, self.gate = folder, gate

    def hold(self):
        while os.path.exists(self.gate):
            time.sleep(0.05)

    def getattr(self, path):
        self.hold()
        try:
            return os.lstat(self.folder + path)
        except OSError as e:
            return -e.errno

    def readdir(self, path, offset):
        self.hold()
        for name in ['.', '..'] + os.listdir(self.folder + path):
            yield fuse.Direntry(name)


held = Held(sys.argv[1], sys.argv[2], version='1', usage='', dash_s_do='setsingle')
held.parse(args=sys.argv[3:] + ['-o', 'ro'], errex=1)
held.main()
