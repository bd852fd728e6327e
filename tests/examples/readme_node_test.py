"""The ROS 2 page (docs/ros2.md) names every topic and parameter that
tolvaren_tts_node declares, and the launch file sets exactly those
parameters."""
import pathlib
import re
import sys

root = pathlib.Path(sys.argv[1])
page = (root / "docs/ros2.md").read_text(encoding="utf-8")
node = (root / "src/ros/tts_node_main.cc").read_text(encoding="utf-8")
topics = re.findall(r'"(~/\w+)"', node)
parameters = re.findall(r'declare_parameter<[\w:]+>\(\s*"(\w+)"', node)
if not topics or not parameters:
    sys.exit("found no topics or no parameters in src/ros/tts_node_main.cc")
missing = [name for name in topics + parameters if f"`{name}`" not in page]
if missing:
    sys.exit(f"docs/ros2.md does not name {missing}")
launch = (root / "launch/tolvaren_tts.launch.py").read_text(encoding="utf-8")
launched = re.findall(r'^\s+"(\w+)": ', launch, re.M)
if sorted(launched) != sorted(parameters):
    sys.exit(f"the launch file sets {launched}, the node declares {parameters}")
