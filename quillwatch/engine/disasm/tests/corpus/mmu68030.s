| The 68030 PMOVE forms. Assembled with m68k-linux-gnu-as -m68030.
	.text
	pmove	(%a0),%tc
	pmove	%tc,(%a0)
	pmove	#0x82c0aa00,%tc
	pmovefd	(%a1),%tc
	pmove	(%a0),%srp
	pmove	%srp,8(%a6)
	pmove	(%a0),%crp
	pmove	%crp,(%a0)
	pmovefd	(%a2),%crp
	pmove	%psr,(%a0)
	pmove	(%a0),%psr
	pmove	(%a0),%tt0
	pmove	%tt0,(%a0)
	pmove	(%a0),%tt1
	pmove	%tt1,0x12345678
	ptestr	#1,(%a0),#3
	pflusha
	pflush	#1,#2
	ploadr	#1,(%a0)
