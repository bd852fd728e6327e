"""Runs a command that writes a WAV stream to standard output and prints
the seconds from its start to the first sample byte (the first byte after
the header's data chunk header) and to its exit, and the sample bytes.

  /usr/bin/python3 benchmarks/first_byte_time.py -- COMMAND...
"""
import subprocess
import sys
import time


def read_exact(pipe, n):
    data = b""
    while len(data) < n:
        more = pipe.read(n - len(data))
        if not more:
            raise SystemExit("the stream ended inside its header")
        data += more
    return data


def main():
    command = sys.argv[sys.argv.index("--") + 1:]
    start = time.monotonic()
    process = subprocess.Popen(command, stdout=subprocess.PIPE, bufsize=0)
    out = process.stdout
    read_exact(out, 12)  # RIFF, size, WAVE
    while True:
        chunk_id = read_exact(out, 4)
        size = int.from_bytes(read_exact(out, 4), "little")
        if chunk_id == b"data":
            break
        read_exact(out, size + (size & 1))
    first = out.read(1)
    first_audio = time.monotonic() - start
    count = len(first)
    while True:
        more = out.read(1 << 16)
        if not more:
            break
        count += len(more)
    status = process.wait()
    whole = time.monotonic() - start
    if status != 0 or count == 0:
        raise SystemExit(f"the command failed with status {status}")
    print(f"{first_audio:.3f} {whole:.3f} {count}")


if __name__ == "__main__":
    main()
