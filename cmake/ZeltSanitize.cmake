# AddressSanitizer + UndefinedBehaviorSanitizer, no recovery, division by zero in floats included.
set(_zelt_san -fsanitize=address,undefined,float-divide-by-zero -fno-sanitize-recover=all -fno-omit-frame-pointer)
add_compile_options(${_zelt_san})
add_link_options(${_zelt_san})
