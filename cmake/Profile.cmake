# The supported build's digests and payload enter the program here. Without MORRA_LUMEN_PROFILE and
# MORRA_LUMEN_PAYLOAD the build generates a demo game, payload and profile with the fixture
# generator, so a fresh checkout needs no outside data. The profile compiler checks the profile and
# the payload's digests (a bad profile stops the build with a message naming the key or file),
# writes the profile as C++ data and copies the payload into the program's resources.

set(MORRA_DEMO_DIR ${CMAKE_BINARY_DIR}/demo)
if(MORRA_LUMEN_PROFILE STREQUAL "" AND MORRA_LUMEN_PAYLOAD STREQUAL "")
  set(_profile ${MORRA_DEMO_DIR}/profile.json)
  set(_payload ${MORRA_DEMO_DIR}/Payload)
  add_custom_command(
    OUTPUT ${_profile}
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${MORRA_DEMO_DIR}
    COMMAND morra-fixture --out ${MORRA_DEMO_DIR} --seed 1 --size 4194304
    DEPENDS morra-fixture
    COMMENT "Generating the demo game, payload and profile"
    VERBATIM)
  set(_profile_depends ${_profile})
elseif(MORRA_LUMEN_PROFILE STREQUAL "" OR MORRA_LUMEN_PAYLOAD STREQUAL "")
  message(FATAL_ERROR "MORRA_LUMEN_PROFILE and MORRA_LUMEN_PAYLOAD are set together or not at all")
else()
  get_filename_component(_profile ${MORRA_LUMEN_PROFILE} ABSOLUTE)
  get_filename_component(_payload ${MORRA_LUMEN_PAYLOAD} ABSOLUTE)
  if(NOT EXISTS ${_profile})
    message(FATAL_ERROR "MORRA_LUMEN_PROFILE: ${_profile} does not exist")
  endif()
  if(NOT IS_DIRECTORY ${_payload})
    message(FATAL_ERROR "MORRA_LUMEN_PAYLOAD: ${_payload} is not a folder")
  endif()
  file(GLOB_RECURSE _payload_files ${_payload}/*)
  set(_profile_depends ${_profile} ${_payload_files})
endif()

set(MORRA_PROFILE_SOURCE ${CMAKE_BINARY_DIR}/generated/ProfileData.cpp)
add_custom_command(
  OUTPUT ${MORRA_PROFILE_SOURCE} ${CMAKE_BINARY_DIR}/generated/Payload.stamp
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/generated
  COMMAND morra-profile-compiler --profile ${_profile} --payload ${_payload}
          --output ${MORRA_PROFILE_SOURCE} --resources ${MORRA_RESOURCES_DIR}
  COMMAND ${CMAKE_COMMAND} -E touch ${CMAKE_BINARY_DIR}/generated/Payload.stamp
  DEPENDS morra-profile-compiler ${_profile_depends}
  COMMENT "Checking the profile and payload and compiling them into the program"
  VERBATIM)
add_custom_target(morra_resources DEPENDS ${MORRA_PROFILE_SOURCE})
