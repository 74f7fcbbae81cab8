# The core's sources of the encoder's synthesiser, the payload encoder and the robust receiver, relative to src/: built
# with the small storage (RYX_SMALL_STORAGE) for the Cortex-M4 (mcu/CMakeLists.txt, with the
# streaming interface) and on the desktop for the test that compares it with the default build
# (tests/small/).
set(RYX_SMALL_SOURCES
    modes/frequency_plan.cpp modes/message_frame.cpp modes/phrase.cpp modes/refuse.cpp
    modes/symbol_alphabet.cpp modes/tuning.cpp fec/reed_solomon_codec.cpp
    dsp/ascending_order.cpp decoder/robust_plan.cpp decoder/robust_receiver.cpp decoder/tone_bank.cpp
    decoder/word_search.cpp encoder/frame_synthesiser.cpp payload/frame_erasure_code.cpp
    payload/payload_encoder.cpp payload/payload_frame.cpp payload/payload_layout.cpp)
