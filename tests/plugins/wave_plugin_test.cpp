// wave_enc: the file it writes decodes bit-exactly through Sondrel.
