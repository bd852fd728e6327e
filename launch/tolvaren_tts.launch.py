"""Starts tolvaren_tts_node.

    ros2 launch tolvaren_tts tolvaren_tts.launch.py voice:=diphone speed:=1.2
"""
from launch import LaunchDescription
from launch.actions import DeclareLaunchArgument
from launch.substitutions import LaunchConfiguration
from launch_ros.actions import Node
from launch_ros.parameter_descriptions import ParameterValue


def generate_launch_description():
    return LaunchDescription([
        DeclareLaunchArgument("voice", default_value="default",
                              description="a voice folder beside the configured models"),
        DeclareLaunchArgument("speed", default_value="1.0",
                              description="speaking rate, 0.25 to 4"),
        DeclareLaunchArgument("volume", default_value="1.0",
                              description="gain before the limiter, above 0 up to 8"),
        Node(
            package="tolvaren_tts",
            executable="tolvaren_tts_node",
            name="tolvaren_tts",
            output="screen",
            parameters=[{
                "voice": ParameterValue(LaunchConfiguration("voice"), value_type=str),
                "speed": ParameterValue(LaunchConfiguration("speed"), value_type=float),
                "volume": ParameterValue(LaunchConfiguration("volume"), value_type=float),
            }],
        ),
    ])
