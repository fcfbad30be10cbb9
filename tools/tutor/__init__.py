"""The project's tools: what tools/COMMAND runs, as `python3 -m tutor COMMAND`."""
