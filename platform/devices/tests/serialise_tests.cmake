# Runs after the test discovery of platform_devices_tests.
if(DEFINED platform_devices_tests_TESTS)
  set_tests_properties(${platform_devices_tests_TESTS} PROPERTIES RESOURCE_LOCK quenlow_program_directory)
endif()
