"""Tumelin membranes in Blender: a mesh object's Physics properties get a
Tumelin panel whose Bake runs the plug-in on the object's mesh and plays the
result through a Mesh Cache modifier (a .pc2 file beside the .blend)."""

bl_info = {
    "name": "Tumelin membranes",
    "author": "The Tumelin developers",
    "version": (1, 0, 0),
    "blender": (3, 4, 0),
    "location": "Properties > Physics > Tumelin",
    "description": "Inflates closed cloth membranes with the Tumelin plug-in and bakes them to a point cache",
    "category": "Physics",
}

import os
import sys

# the zip carries the tumelin package (with the plug-in and the kit library
# in its lib/ folder) in vendor/; a tumelin installed in Blender's Python
# is used only when the add-on runs without its own copy
_vendor = os.path.join(os.path.dirname(__file__), "vendor")
if os.path.isdir(_vendor) and _vendor not in sys.path:
    sys.path.insert(0, _vendor)

from . import properties, operators, panel  # noqa: E402

_modules = (properties, operators, panel)


def register():
    for module in _modules:
        module.register()


def unregister():
    for module in reversed(_modules):
        module.unregister()
