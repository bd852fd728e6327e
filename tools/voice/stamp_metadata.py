"""Writes the voice contract into the metadata of existing ONNX files.

  python3 -m tools.voice.stamp_metadata [--voice NAME] FILE.onnx [FILE.onnx ...]

For models exported before export.py wrote the contract itself (the voice
in resources/models/): sets the keys of contract.metadata in each file's
metadata_props (with --voice, also what voices.metadata says of that
voice, the optional inputs being the file's inputs that have a default
and the optional outputs those after the first),
keeping any other entries, and changes nothing else. Each
file is rewritten only after the stamped model, read back, has proved to
hold the same graph, weights and header as the original (the two
serialise identically once their metadata is cleared).
"""
import argparse
import os
import sys

import onnx

from . import contract, voices


def without_metadata(model):
    """Serialisation of `model` with its metadata_props cleared."""
    copy = onnx.ModelProto()
    copy.CopyFrom(model)
    del copy.metadata_props[:]
    return copy.SerializeToString()


def optional_inputs(model):
    """Names of the graph inputs that have an initializer (a default)."""
    defaults = {i.name for i in model.graph.initializer}
    return [i.name for i in model.graph.input if i.name in defaults]


def optional_outputs(model):
    """Names of the graph outputs after the first."""
    return [o.name for o in model.graph.output[1:]]


def stamp_file(path, voice=None):
    """Stamps one file in place; returns False (file untouched) when the
    result would differ from the original in anything but metadata."""
    with open(path, "rb") as f:
        original = onnx.load_from_string(f.read())
    stamped = onnx.ModelProto()
    stamped.CopyFrom(original)
    contract.stamp(stamped, voices.metadata(voice, optional_inputs(original),
                                            optional_outputs(original))
                   if voice else None)
    data = stamped.SerializeToString()
    if without_metadata(onnx.load_from_string(data)) != without_metadata(original):
        return False
    tmp = path + ".tmp"
    with open(tmp, "wb") as f:
        f.write(data)
    os.replace(tmp, path)
    return True


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--voice", choices=sorted(voices.VOICES))
    ap.add_argument("files", nargs="+")
    args = ap.parse_args()
    failed = [path for path in args.files if not stamp_file(path, args.voice)]
    for path in failed:
        print(f"{path}: left as it was (stamping would change more than metadata)",
              file=sys.stderr)
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
