# velcoractl chatbot format prints the demo script as it stands (without its
# byte-order mark), check counts it, and a broken script is refused.
# Called with -DCTL=<velcoractl> -DDEMO=<demo script> -DWORK=<scratch folder>.
file(MAKE_DIRECTORY ${WORK})

execute_process(COMMAND ${CTL} chatbot format ${DEMO} OUTPUT_FILE ${WORK}/formatted.txt
                RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "format failed: ${rc}")
endif()
file(READ ${DEMO} demo HEX)
string(SUBSTRING "${demo}" 6 -1 demo)
file(READ ${WORK}/formatted.txt formatted HEX)
if(NOT demo STREQUAL formatted)
  message(FATAL_ERROR "format changed the demo script")
endif()

execute_process(COMMAND ${CTL} chatbot check --json ${DEMO} OUTPUT_VARIABLE out RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR NOT out MATCHES "^{\"framesets\":[0-9]+,\"frames\":[0-9]+,\"questions\":[0-9]+,\"answers\":[0-9]+,\"dialogues\":[0-9]+,\"prompts\":[0-9]+}\n$")
  message(FATAL_ERROR "check --json: ${rc} ${out}")
endif()

file(WRITE ${WORK}/broken.txt "frameset(\"a\") { frame(\"x\") }")
execute_process(COMMAND ${CTL} chatbot check ${WORK}/broken.txt ERROR_VARIABLE err
                RESULT_VARIABLE rc)
if(NOT rc EQUAL 1 OR NOT err MATCHES "Ошибка разбора текста!")
  message(FATAL_ERROR "broken script: ${rc} ${err}")
endif()

execute_process(COMMAND ${CTL} chatbot frobnicate RESULT_VARIABLE rc ERROR_QUIET)
if(NOT rc EQUAL 2)
  message(FATAL_ERROR "unknown subcommand: ${rc}")
endif()

# match names the frameset of every question the text covers; none is exit 1.
execute_process(COMMAND ${CTL} chatbot match ${DEMO} "Привет, робот!" OUTPUT_VARIABLE out
                RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR NOT out STREQUAL "Приветствие › фрейм 1 › привет&робот | здравствуй [пожалуйста]\n")
  message(FATAL_ERROR "match: ${rc} ${out}")
endif()
execute_process(COMMAND ${CTL} chatbot match --json ${DEMO} "мой номер 9 1 6 телефона"
                OUTPUT_VARIABLE out RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR NOT out STREQUAL "[{\"frameset\":\"Числа\",\"path\":[2],\"frame\":1,\"question\":0,\"pattern\":\"мой&номер <номер:digits> [телефона]\"}]\n")
  message(FATAL_ERROR "match --json: ${rc} ${out}")
endif()
execute_process(COMMAND ${CTL} chatbot match ${DEMO} "до свидания" RESULT_VARIABLE rc
                OUTPUT_QUIET ERROR_QUIET)
if(NOT rc EQUAL 1)
  message(FATAL_ERROR "match without a match: ${rc}")
endif()
