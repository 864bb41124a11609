# The client side of the signalling connection: TLS line connection, the
# link's lifecycle and reader thread, and the dispatch of received lines.
add_library(corvala_signalling_client STATIC
  ClientMessage.cpp ReadThread.cpp
  SignallingConnection.cpp SignallingEndpoint.cpp TlsLineConnection.cpp)
set_target_properties(corvala_signalling_client PROPERTIES AUTOMOC ON)
target_compile_definitions(corvala_signalling_client PRIVATE
  CORVALA_SIGNALLING_HOST="${CORVALA_SIGNALLING_HOST}")
target_link_libraries(corvala_signalling_client PUBLIC corvala_signalling_wire corvala_base
  Qt6::Core OpenSSL::SSL OpenSSL::Crypto Threads::Threads)
