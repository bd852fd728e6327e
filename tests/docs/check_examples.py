#!/usr/bin/env python3
"""Runs the examples shown in README.md and docs/*.md against a build, and
checks that their relative links, and the repository files they name in
code (`tools/voice/README.md`), lead somewhere and that the README links
every page.

    check_examples.py SOURCE_DIR BUILD_DIR [FILE.md...]

Fenced blocks, by their tag:

    sh        run by bash as one script in a fresh folder; a command that
              fails fails the check, named by its file and line (as with
              bash's -e, a failure before the last && of a list is not
              seen: write one command a line)
    console   each `$ COMMAND` runs in a fresh folder per block; the lines
              after it, up to the next `$`, are what it must print
              (standard output and standard error together)
    c, cpp    a whole program (one with a main) is compiled against the
              source's headers and the build's library, then run
    python    run with the source's module and the build's library
    (others)  shown only: text, cmake, ...

A block right after a `<!-- not run: REASON -->` line is shown only (the
setup scripts, training, the cross and ROS builds). The build's tools come
first on the PATH and TOLVAREN_TTS_CONF names the build's tool.conf.
"""

import os
import pathlib
import re
import subprocess
import sys
import tempfile

NOT_RUN = re.compile(r"<!-- not run: \S.* -->")
FENCE = re.compile(r"^( *)```(\S*)\s*$")
LINK = re.compile(r"\[[^\]]*\]\(([^)\s]+)\)")
# A file of this repository named in code: `tools/voice/README.md`.
NAMED_FILE = re.compile(r"`((?:benchmarks|cmake|docs|examples|include|launch|"
                        r"python|resources|scripts|src|tests|tools)/[^`\s]*)")
# A name that stands for any: `tests/fuzz/corpus/NAME/`, `resources/models/*.onnx`.
PLACEHOLDER = re.compile(r"/(?:NAME|FILE|BUILD|DIR)(?:/|\.|$)|\*")
TIMEOUT_S = 120


def blocks(path):
    """(tag, first line number, text, run) for each fenced block."""
    lines = path.read_text(encoding="utf-8").split("\n")
    index = 0
    while index < len(lines):
        match = FENCE.match(lines[index])
        if not match:
            index += 1
            continue
        start = index
        indent, tag = match.group(1), match.group(2)
        end = start + 1
        while end < len(lines) and lines[end] != indent + "```":
            end += 1
        if end == len(lines):
            raise SystemExit(f"{path}:{start + 1}: a block that never ends")
        shown_only = start > 0 and NOT_RUN.fullmatch(lines[start - 1].strip())
        text = "".join(line[len(indent):] + "\n" for line in lines[start + 1:end])
        yield tag, start + 2, text, not shown_only
        index = end + 1


def slug(heading):
    """The anchor a heading gets on the usual Markdown hosts."""
    text = re.sub(r"[^\w\- ]", "", heading.strip().lower())
    return text.replace(" ", "-")


def anchors(path):
    text = re.sub(r"^```.*?^```", "", path.read_text(encoding="utf-8"),
                  flags=re.S | re.M)
    return {slug(line.lstrip("#")) for line in text.split("\n")
            if line.startswith("#")}


def check_links(path, shown, source):
    failures = []
    text = path.read_text(encoding="utf-8")
    for number, line in enumerate(text.split("\n"), 1):
        for target in LINK.findall(line):
            if re.match(r"[a-z]+:", target):
                continue
            file_part, _, anchor = target.partition("#")
            linked = (path.parent / file_part).resolve() if file_part else path
            if not linked.exists():
                failures.append(f"{shown}:{number}: link to {target}: no such file")
            elif anchor and linked.suffix == ".md" and anchor not in anchors(linked):
                failures.append(f"{shown}:{number}: link to {target}: no such heading")
        for named in NAMED_FILE.findall(line):
            if not PLACEHOLDER.search(named) and not (source / named).exists():
                failures.append(f"{shown}:{number}: {named}: no such file")
    return failures


def excerpt(output, lines=15):
    """The start of a command's output, where the reason usually is."""
    return "\n".join(output.strip().split("\n")[:lines])


def run(command, env, folder, shell=True):
    return subprocess.run(command, shell=shell, cwd=folder, env=env, text=True,
                          stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                          timeout=TIMEOUT_S, check=False,
                          executable="/bin/bash" if shell else None)


def run_sh(where, text, env, folder):
    # Each failing command names its line through the ERR trap.
    script = ("set -eE -o pipefail\n"
              "trap 'echo \"@@ $((LINENO - 2)): $BASH_COMMAND\" >&2' ERR\n" + text)
    result = run(["bash", "-c", script], env, folder, shell=False)
    if result.returncode == 0:
        return []
    path, first = where
    found = re.search(r"^@@ (\d+): (.*)$", result.stdout, re.M)
    line = first + int(found.group(1)) - 1 if found else first
    command = found.group(2) if found else "(the block)"
    output = re.sub(r"^@@ .*\n?", "", result.stdout, flags=re.M)
    return [f"{path}:{line}: `{command}` exited {result.returncode}:\n"
            f"{excerpt(output)}"]


def run_console(where, text, env, folder):
    path, first = where
    failures = []
    steps = []  # [line, command, expected lines, continued]
    for offset, line in enumerate(text.rstrip("\n").split("\n")):
        if steps and steps[-1][3]:
            steps[-1][1] += "\n" + line
            steps[-1][3] = line.endswith("\\")
        elif line.startswith("$ "):
            steps.append([first + offset, line[2:], [], line.endswith("\\")])
        elif steps:
            steps[-1][2].append(line)
    for line, command, expected, _ in steps:
        result = run(command, env, folder)
        got = result.stdout.rstrip("\n").split("\n") if result.stdout else []
        if got != expected:
            failures.append(f"{path}:{line}: `{command}` printed:\n"
                            + "\n".join(got) + "\nwhere the page shows:\n"
                            + "\n".join(expected))
    return failures


def run_program(where, tag, text, env, folder, source, build):
    path, line = where
    if "main(" not in text:
        return []  # a fragment: the examples/ programs show it whole
    suffix, compiler = (".c", ["cc", "-std=c99"]) if tag == "c" else \
        (".cc", ["c++", "-std=c++17"])
    program = pathlib.Path(folder) / ("example" + suffix)
    program.write_text(text, encoding="utf-8")
    library = build / "src/library"
    built = run(compiler + ["-Wall", "-Wextra", "-Werror", str(program),
                            "-I", str(source / "include"), "-L", str(library),
                            f"-Wl,-rpath,{library}", "-ltolvaren_tts",
                            "-o", "example"], env, folder, shell=False)
    if built.returncode != 0:
        return [f"{path}:{line}: the {tag} program does not build:\n{built.stdout}"]
    ran = run(["./example"], env, folder, shell=False)
    if ran.returncode != 0:
        return [f"{path}:{line}: the {tag} program exited {ran.returncode}:\n"
                f"{ran.stdout}"]
    return []


def run_python(where, text, env, folder):
    path, line = where
    result = run(["/usr/bin/python3", "-c", text], env, folder, shell=False)
    if result.returncode != 0:
        return [f"{path}:{line}: the Python example exited "
                f"{result.returncode}:\n{result.stdout}"]
    return []


def environment(source, build, cache):
    env = dict(os.environ)
    env["PATH"] = f"{build / 'src'}:{env.get('PATH', '/usr/bin:/bin')}"
    env["TOLVAREN_TTS_CONF"] = str(build / "resources/conf/tool.conf")
    env["PYTHONPATH"] = str(source / "python")
    env["TOLVAREN_TTS_LIBRARY"] = str(build / "src/library/libtolvaren_tts.so")
    env["XDG_CACHE_HOME"] = cache
    env["LC_ALL"] = "C.UTF-8"
    return env


def check_page(path, source, build, env):
    shown = path.relative_to(source)
    failures = check_links(path, shown, source)
    for tag, line, text, runs in blocks(path):
        if not runs:
            continue
        with tempfile.TemporaryDirectory() as folder:
            where = (shown, line)
            if tag == "sh":
                failures += run_sh(where, text, env, folder)
            elif tag == "console":
                failures += run_console(where, text, env, folder)
            elif tag in ("c", "cpp"):
                failures += run_program(where, tag, text, env, folder, source, build)
            elif tag == "python":
                failures += run_python(where, text, env, folder)
    return failures


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    source = pathlib.Path(sys.argv[1]).resolve()
    build = pathlib.Path(sys.argv[2]).resolve()
    pages = [pathlib.Path(p).resolve() for p in sys.argv[3:]] or \
        [source / "README.md"] + sorted((source / "docs").glob("*.md"))
    readme = (source / "README.md").read_text(encoding="utf-8")
    failures = [f"README.md: no link to docs/{page.name}"
                for page in sorted((source / "docs").glob("*.md"))
                if f"(docs/{page.name})" not in readme]
    with tempfile.TemporaryDirectory() as cache:
        env = environment(source, build, cache)
        for page in pages:
            failures += check_page(page, source, build, env)
    for failure in failures:
        print(failure)
    print(f"{len(pages)} pages, {len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
