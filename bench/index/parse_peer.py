#!/usr/bin/env python3
"""The peer: parse the same index with xml.etree and read every job's attributes."""
import sys
import xml.etree.ElementTree as ET

root = ET.parse(sys.argv[1]).getroot()
jobs = [dict(child.attrib) for child in root if child.tag != "user_id"]
print(len(jobs), file=sys.stderr)
