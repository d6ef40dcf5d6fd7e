"""The exact anti-aliased enlargement of velmora for numpy arrays."""

from os import PathLike
from typing import Literal, Optional, Tuple, Union

import numpy as np
import numpy.typing as npt

__version__: str
MIN_RATIO: float
MAX_RATIO: float

def enlarged_size(width: int, height: int, ratio: float) -> Tuple[int, int]:
    """The (width, height) of a width x height picture enlarged by ratio
    (MIN_RATIO to MAX_RATIO): floor(ratio * width - 1) x floor(ratio * height - 1)."""

def enlarge(array: npt.NDArray[np.uint8], ratio: float, threads: int = 0) -> npt.NDArray[np.uint8]:
    """A new uint8 array: array, of shape (height, width) (gray), (height, width, 3)
    (RGB) or (height, width, 4) (RGBA), enlarged by ratio, every channel by the
    same rule. threads: 0 for every core the process may run on; at most four
    per such core and 256 are used (a larger count gives the same result).
    Raises TypeError for another dtype, ValueError for another shape or a
    ratio out of range, MemoryError."""

def enlarge_file(src: Union[str, bytes, PathLike], dst: Union[str, bytes, PathLike], ratio: float,
                 quality: int = 100, strip: bool = False,
                 format: Optional[Literal["jpg", "jpeg", "bmp", "png"]] = None) -> None:
    """Enlarges the picture file src (BMP, JPEG, PNG and what else the batch tool
    reads) by ratio into dst, exactly as `velmora-enlarge --ratio R SRC DST`
    does: the same bytes, written under a temporary name and renamed, the
    source's metadata kept unless strip. The output's kind is format, or else
    dst's ending (.bmp, .jpg, .jpeg, .png). quality: JPEG quality from 1 to 100.
    Raises ValueError for an argument it does not take, OSError with the
    tool's words when the file cannot be read or written, MemoryError."""
