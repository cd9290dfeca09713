# Authenticode signing of the finished updater. With the maker's certificate
# (-DZENTREL_SIGN_CERT and -DZENTREL_SIGN_KEY, or -DZENTREL_SIGN_PKCS12 with its
# password in the environment variable ZENTREL_SIGN_PASSWORD at build time) the
# build signs with it; without, it signs with a throwaway test certificate made
# here at configure time, so the signing path is always exercised. Windows
# shows no publisher for the test certificate: it chains to no trusted root.

set(ZENTREL_SIGN_CERT "" CACHE FILEPATH "The maker's code-signing certificate (PEM, with its chain)")
set(ZENTREL_SIGN_KEY "" CACHE FILEPATH "The private key of ZENTREL_SIGN_CERT (PEM)")
set(ZENTREL_SIGN_PKCS12 "" CACHE FILEPATH "Instead of certificate and key: a PKCS#12 file holding both")
set(ZENTREL_SIGN_TIMESTAMP_URL "" CACHE STRING "An RFC 3161 time-stamp server (empty: no time stamp)")

find_program(OSSLSIGNCODE osslsigncode REQUIRED)

set(ZENTREL_SIGN_ARGS "")
if(ZENTREL_SIGN_PKCS12)
  list(APPEND ZENTREL_SIGN_ARGS --pkcs12 ${ZENTREL_SIGN_PKCS12})
elseif(ZENTREL_SIGN_CERT OR ZENTREL_SIGN_KEY)
  if(NOT ZENTREL_SIGN_CERT OR NOT ZENTREL_SIGN_KEY)
    message(FATAL_ERROR "Signing needs both ZENTREL_SIGN_CERT and ZENTREL_SIGN_KEY")
  endif()
  list(APPEND ZENTREL_SIGN_ARGS --cert ${ZENTREL_SIGN_CERT} --key ${ZENTREL_SIGN_KEY})
else()
  set(ZENTREL_TEST_CERT ${CMAKE_BINARY_DIR}/signing/test-cert.pem)
  set(ZENTREL_TEST_KEY ${CMAKE_BINARY_DIR}/signing/test-key.pem)
  if(NOT EXISTS ${ZENTREL_TEST_CERT} OR NOT EXISTS ${ZENTREL_TEST_KEY})
    find_program(OPENSSL openssl REQUIRED)
    file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/signing)
    execute_process(
      COMMAND ${OPENSSL} req -x509 -newkey rsa:3072 -nodes -days 3650 -sha256
              -subj "/CN=Zentrel Update test signing (untrusted)"
              -addext "extendedKeyUsage=codeSigning"
              -keyout ${ZENTREL_TEST_KEY} -out ${ZENTREL_TEST_CERT}
      RESULT_VARIABLE openssl_result OUTPUT_QUIET ERROR_VARIABLE openssl_error)
    if(NOT openssl_result EQUAL 0)
      message(FATAL_ERROR "Making the test signing certificate failed: ${openssl_error}")
    endif()
  endif()
  message(STATUS "Signing with the test certificate ${ZENTREL_TEST_CERT}")
  list(APPEND ZENTREL_SIGN_ARGS --cert ${ZENTREL_TEST_CERT} --key ${ZENTREL_TEST_KEY})
endif()
if(ZENTREL_SIGN_TIMESTAMP_URL)
  list(APPEND ZENTREL_SIGN_ARGS --timestamp ${ZENTREL_SIGN_TIMESTAMP_URL})
endif()

# Signs TARGET's file after its link: the last step, when every resource is in.
function(zentrel_sign target)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tools/sign.py --in $<TARGET_FILE:${target}> ${ZENTREL_SIGN_ARGS}
    VERBATIM)
endfunction()
