module zeqbench/goanchor

go 1.19
