"""The README's ROS 2 node is the file that scripts/test.sh compiles."""
import pathlib
import re
import sys

root = pathlib.Path(sys.argv[1])
readme = (root / "README.md").read_text(encoding="utf-8")
section = readme.split("## Using it from a ROS 2 node", 1)
if len(section) != 2:
    sys.exit("README has no section 'Using it from a ROS 2 node'")
block = re.search(r"```cpp\n(.*?)```", section[1], re.S)
if block is None:
    sys.exit("the section shows no ```cpp block")
node = (root / "examples/ros2_node/tts_node.cc").read_text(encoding="utf-8")
if block.group(1) != node:
    sys.exit("README's node differs from examples/ros2_node/tts_node.cc")
