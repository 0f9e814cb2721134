"""host.py: a Python host calling compiled zeq code through the foreign-call
boundary.

ctypes cannot call zeq_ffi_begin, which returns twice, so the host calls
zeq_ffi_call(fn, arg, &result): it opens a region, calls fn(arg) and closes
it, answering 0 with the result, or 1 after a panic, whose message
zeq_ffi_error_message gives.  A string for zeq code is made with
zeq_ffi_cstr_to_string and released with zeq_ffi_free_string.  The module
is zeq_module.c.

usage: python3 examples/host.py build/libzeq.so.0 build/examples/libzeq_module.so
"""
import ctypes
import sys

zeq = ctypes.CDLL(sys.argv[1], mode=ctypes.RTLD_GLOBAL)
module = ctypes.CDLL(sys.argv[2])

zeq.zeq_ffi_call.restype = ctypes.c_int32
zeq.zeq_ffi_call.argtypes = [ctypes.c_void_p, ctypes.c_int64, ctypes.POINTER(ctypes.c_int64)]
zeq.zeq_ffi_error_message.restype = ctypes.c_char_p
zeq.zeq_ffi_cstr_to_string.restype = ctypes.c_void_p
zeq.zeq_ffi_cstr_to_string.argtypes = [ctypes.c_char_p]
zeq.zeq_ffi_free_string.argtypes = [ctypes.c_void_p]


def call(name, arg):
    """(0, result) or (1, None) after a panic."""
    fn = ctypes.cast(getattr(module, name), ctypes.c_void_p)
    result = ctypes.c_int64()
    if zeq.zeq_ffi_call(fn, arg, ctypes.byref(result)) == 1:
        return 1, None
    return 0, result.value


for divisor in (4, 0):
    status, value = call("checked_div100", divisor)
    if status == 0:
        print("ok", value)
    else:
        print("caught", zeq.zeq_ffi_error_message().decode())

text = zeq.zeq_ffi_cstr_to_string(b"three short words")
print("words", call("word_count", text)[1])
zeq.zeq_ffi_free_string(text)
