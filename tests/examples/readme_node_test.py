"""The README's ROS 2 section names every topic and parameter that
tolvaren_tts_node declares, and the launch file sets exactly those
parameters."""
import pathlib
import re
import sys

root = pathlib.Path(sys.argv[1])
readme = (root / "README.md").read_text(encoding="utf-8")
section = re.search(r"^## ROS 2: tolvaren_tts_node\n(.*?)^## ", readme, re.S | re.M)
if section is None:
    sys.exit("README has no section 'ROS 2: tolvaren_tts_node'")
node = (root / "src/ros/tts_node_main.cc").read_text(encoding="utf-8")
topics = re.findall(r'"(~/\w+)"', node)
parameters = re.findall(r'declare_parameter<[\w:]+>\(\s*"(\w+)"', node)
if not topics or not parameters:
    sys.exit("found no topics or no parameters in src/ros/tts_node_main.cc")
missing = [name for name in topics + parameters if f"`{name}`" not in section.group(1)]
if missing:
    sys.exit(f"the README's ROS 2 section does not name {missing}")
launch = (root / "launch/tolvaren_tts.launch.py").read_text(encoding="utf-8")
launched = re.findall(r'^\s+"(\w+)": ', launch, re.M)
if sorted(launched) != sorted(parameters):
    sys.exit(f"the launch file sets {launched}, the node declares {parameters}")
