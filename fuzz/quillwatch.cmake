# Quillwatch's parsers of outside input: the serial link packet hunt and the body converters.
vantor_add_fuzz(quillwatch_packet_hunt ARCH host SOURCES ${CMAKE_CURRENT_LIST_DIR}/quillwatch/PacketHuntFuzz.cpp
                LIBS quillwatch_link_testsupport)
vantor_add_fuzz(quillwatch_body_swap ARCH host SOURCES ${CMAKE_CURRENT_LIST_DIR}/quillwatch/BodySwapFuzz.cpp
                LIBS common_host)
vantor_add_fuzz(quillwatch_rpc_reply ARCH host SOURCES ${CMAKE_CURRENT_LIST_DIR}/quillwatch/RpcReplyFuzz.cpp
                LIBS quillwatch_link_testsupport)
