# SPDX-License-Identifier: MIT
"""The closed choices of the module as enums. Each member's value is the
library's number for it; where a choice is typed by users its lower-case
name is accepted too ("rigid", "chordal_deviation")."""

import enum
from typing import Type, TypeVar, Union

_E = TypeVar("_E", bound=enum.IntEnum)


class NPointAlgorithm(enum.IntEnum):
    """How an N-point filter picks its points."""

    EQUAL_INDEX = 0
    EQUAL_ARC_LENGTH = 1
    CHORDAL_DEVIATION = 2


class StitchMethod(enum.IntEnum):
    """How the stitch tool moves surfaces: BOTH moves both surfaces of a
    correspondence (in opposite directions), REFERENCE only the one that is
    not the correspondence's reference (both only translate along local
    normals); RIGID fits each earlier surface onto the later ones by a
    rotation and translation, recorded in its transform history."""

    BOTH = 0
    REFERENCE = 1
    RIGID = 2


class CameraMode(enum.IntEnum):
    """How a camera delivers profiles: AUTO takes PROFILE where the camera
    offers a 3D pixel format; IMAGE finds the laser line in Mono8/12/16
    images; PROFILE reads the camera's Coord3D profiles."""

    AUTO = 0
    IMAGE = 1
    PROFILE = 2


def choice(kind: Type[_E], value: Union[_E, str], what: str) -> _E:
    """`value` as a member of `kind`: a member, or its name in lower case.
    Anything else raises ValueError naming the choices."""
    if isinstance(value, kind):
        return value
    if isinstance(value, str) and value.islower() and value.upper() in kind.__members__:
        return kind[value.upper()]
    names = ", ".join(repr(m.name.lower()) for m in kind)
    raise ValueError(f"unknown {what} {value!r}: one of {names} (or quax.{kind.__name__})")
