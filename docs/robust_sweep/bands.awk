# per damping band: columns, sum of seconds, per column, pass-limit ends, large passes, zero-measured columns
BEGIN{FS=","; split("0.75125 0.50125 0.37625 0.25125 0.12625 0.00125",lo," ")}
NR==1{for(i=1;i<=NF;i++) f[$i]=i; next}
{d=$f["damping"]; b=6; for(k=1;k<=6;k++) if (d>=lo[k]-1e-9){b=k;break}
 n[b]++; s[b]+=$f["seconds"]; if($f["end"]=="pass_limit") pl[b]++; if($f["end"]=="converged") cv[b]++;
 lp[b]+=$f["large_passes"]; if($f["measured_passes"]==0) z[b]++;
 if($f["measured_passes"]!=$f["passes"]-999) bad++; tot+=$f["seconds"]}
END{for(k=1;k<=6;k++) if(n[k]) printf "%s+ | %d | %.1f min | %.1f s | converged %d | pass_limit %d | large %d | zero %d\n", lo[k], n[k], s[k]/60, s[k]/n[k], cv[k], pl[k], lp[k], z[k];
 printf "total %.0f s (%.2f h), columns with measured != passes-999: %d\n", tot, tot/3600, bad}
