"""Calling compiled zeq code from Python through the foreign-call boundary.

usage: ctypes_example.py LIBZEQ MODULE
"""
import ctypes
import sys

zeq = ctypes.CDLL(sys.argv[1], mode=ctypes.RTLD_GLOBAL)
module = ctypes.CDLL(sys.argv[2])

zeq.zeq_ffi_call.restype = ctypes.c_int32
zeq.zeq_ffi_call.argtypes = [ctypes.c_void_p, ctypes.c_int64, ctypes.POINTER(ctypes.c_int64)]
zeq.zeq_ffi_error_message.restype = ctypes.c_char_p

fn = ctypes.cast(module.checked_div100, ctypes.c_void_p)
result = ctypes.c_int64()

if zeq.zeq_ffi_call(fn, 4, ctypes.byref(result)) == 0:
    print("ok", result.value)
if zeq.zeq_ffi_call(fn, 0, ctypes.byref(result)) == 1:
    print("caught", zeq.zeq_ffi_error_message().decode())
