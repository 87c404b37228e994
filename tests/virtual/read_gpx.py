# Reads a GPX file with gpxpy (an independent reader) and prints each track point as
# "latitude longitude elevation seconds-since-the-epoch", one a line.
import calendar
import sys

import gpxpy

with open(sys.argv[1], encoding="utf-8") as f:
    gpx = gpxpy.parse(f)
for track in gpx.tracks:
    for segment in track.segments:
        for p in segment.points:
            print(repr(p.latitude), repr(p.longitude), repr(p.elevation), calendar.timegm(p.time.utctimetuple()))
