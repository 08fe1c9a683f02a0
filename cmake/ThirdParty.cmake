# The third-party components each shipped program holds: the manifest, and what is made from it.
