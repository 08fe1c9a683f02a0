# Flags and settings that make a build of one commit byte-identical wherever and whenever it runs.
