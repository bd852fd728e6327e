#!/usr/bin/env python3
"""speak: libtolvaren_tts from Python. Speaks TEXT into a WAV file, chunk
by chunk as the engine makes them, and prints its pinyin and length.

    python3 speak.py TEXT OUT.wav

(installed under /usr/local, Debian's python3 finds the module; elsewhere
PYTHONPATH=<prefix>/lib/python3.X/dist-packages)
"""

import array
import sys

import tolvaren_tts


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: speak.py TEXT OUT.wav")
    text, path = sys.argv[1], sys.argv[2]
    try:
        with tolvaren_tts.Synthesizer() as tts:
            samples = array.array("f")
            tts.stream(text, samples.extend)
            tolvaren_tts.write_wav(path, samples, tts.sample_rate)
            print(tts.pinyin(text))
            print(f"{len(samples)} samples at {tts.sample_rate} Hz "
                  f"({len(samples) / tts.sample_rate:.2f} s) in {path}")
    except tolvaren_tts.TolvarenTtsError as error:
        sys.exit(f"speak.py: {error.name}: {error}")


if __name__ == "__main__":
    main()
