# cmake -DIN=FILE -DOUT=FILE.gz -P gzip_file.cmake: compresses a file as Debian wants documentation
# compressed, at the highest level and without a name or a time stamp, so that the same input
# always gives the same bytes.
get_filename_component(directory "${OUT}" DIRECTORY)
file(MAKE_DIRECTORY "${directory}")
execute_process(COMMAND gzip -9 -n -c "${IN}" OUTPUT_FILE "${OUT}" RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    file(REMOVE "${OUT}")
    message(FATAL_ERROR "gzip could not compress ${IN}")
endif()
